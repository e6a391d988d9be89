#include "app/dialogs.h"
#include "app/form1.h"
#include "app/liveclock.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vivadizuzud"));

    // The window speaks Hungarian; the standard dialogs should too.
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QtDialogs dialogs;
    LiveClock clock;
    Form1 form(dialogs, clock);
    if (!form.Form_Load())
        return 0;
    form.show();
    return app.exec();
}
