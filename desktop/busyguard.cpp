#include "desktop/busyguard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

} // namespace

BusyGuard::BusyGuard(QWidget *window) : m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

BusyGuard::~BusyGuard()
{
    release();
    if (m_closeRequested)
        m_window->close();
}

void BusyGuard::release()
{
    if (!m_active)
        return;
    // Input queued up to this moment belongs to the transfer: drop it too, so an
    // impatient double click does not start the next one.
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(this);
    m_active = false;
}

bool BusyGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && watched == m_window) {
        m_closeRequested = true;
        event->ignore();
        return true;
    }
    return isUserInput(event->type());
}
