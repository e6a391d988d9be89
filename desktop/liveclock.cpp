#include "desktop/liveclock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

// The window is served at least this often during a pause.
constexpr qint64 SliceMs = 20;

} // namespace

void LiveClock::sleep(int ms)
{
    // Served between slices rather than from an event loop that waits: such a
    // loop wakes for every few bytes the serial line brings in, which costs
    // more than the transfer itself. Nothing of the window waits longer than a
    // slice, and the transfer reads what arrived at its next look anyway.
    const QDeadlineTimer until(ms, Qt::PreciseTimer);
    do {
        QCoreApplication::processEvents();
        QThread::msleep(static_cast<unsigned long>(qMin(until.remainingTime(), SliceMs)));
    } while (!until.hasExpired());
}
