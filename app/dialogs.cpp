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

void QtDialogs::message(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, Texts::WindowTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::confirm(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::NoIcon, Texts::WindowTitle, question,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QString QtDialogs::openFileName(QWidget *parent, const QString &filter)
{
    // Qt's own dialog, so that it speaks Hungarian like the window. A new name
    // is allowed: a readout creates the list it appends to.
    if (m_folder.isEmpty())
        m_folder = QDir::homePath();
    QFileDialog dialog(parent, Texts::WindowTitle, m_folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
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
