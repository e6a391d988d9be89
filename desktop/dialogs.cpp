#include "desktop/dialogs.h"
#include "desktop/texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace {

// A report taller than a laptop's screen would hide its OK button and the
// advice at its end: its long card lists are cut to their first lines in the
// message, and the whole of it is in the details.
void setFittingText(QMessageBox &box, const QString &text)
{
    constexpr int MaxLines = 24, ListLinesShown = 5;
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() <= MaxLines) {
        box.setText(text);
        return;
    }
    QStringList shown;
    int inList = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool listLine = lines[i].startsWith(QLatin1String("  "));
        inList = listLine ? inList + 1 : 0;
        if (inList <= ListLinesShown) {
            shown.append(lines[i]);
        } else if (inList == ListLinesShown + 1) {
            qsizetype rest = i;
            while (rest < lines.size() && lines[rest].startsWith(QLatin1String("  ")))
                ++rest;
            shown.append(Texts::moreInDetails(int(rest - i)));
        }
    }
    box.setText(shown.join(QLatin1Char('\n')));
    box.setDetailedText(text);
}

} // namespace

QtDialogs::QtDialogs(const QString &title) : m_title(title) {}

void QtDialogs::message(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, QString(), QMessageBox::Ok, parent);
    setFittingText(box, text);
    box.exec();
}

int QtDialogs::ask(QWidget *parent, const QString &question, const QStringList &answers)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, QString(), QMessageBox::Cancel, parent);
    setFittingText(box, question);
    QList<QAbstractButton *> buttons;
    for (const QString &answer : answers)
        buttons.append(box.addButton(answer, QMessageBox::AcceptRole));
    box.setEscapeButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
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
