#include "app/dialogs.h"
#include "app/texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

QtDialogs::QtDialogs(const QString &title) : m_title(title.isEmpty() ? Texts::WindowTitle : title) {}

void QtDialogs::message(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::confirm(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, question, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

bool QtDialogs::confirmDetailed(QWidget *parent, const QString &question, const QString &details)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, question, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setInformativeText(details.size() < 600 ? details : QString());
    if (details.size() >= 600)
        box.setDetailedText(details);
    box.setDefaultButton(QMessageBox::Cancel);   // writing into the reader is chosen, not defaulted to
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

Dialogs::Choice QtDialogs::choose(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes: return Choice::Yes;
    case QMessageBox::No: return Choice::No;
    default: return Choice::Cancel;
    }
}

QString QtDialogs::openFileName(QWidget *parent, const QString &filter)
{
    return fileName(parent, filter, false);
}

QString QtDialogs::saveFileName(QWidget *parent, const QString &filter)
{
    return fileName(parent, filter, true);
}

QString QtDialogs::fileName(QWidget *parent, const QString &filter, bool save)
{
    // Qt's own dialog, so that it speaks Hungarian like the window. A new name
    // is allowed: a readout creates the list it appends to.
    if (m_folder.isEmpty())
        m_folder = QDir::homePath();
    QFileDialog dialog(parent, m_title, m_folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    m_folder = QFileInfo(chosen).absolutePath();
    return chosen;
}

void installQtHungarian()
{
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}
