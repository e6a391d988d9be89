#include "app/dialogs.h"
#include "app/form1.h"
#include "app/liveclock.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vivadizuzud"));

    // The window speaks Hungarian; the standard dialogs should too.
    installQtHungarian();

    QtDialogs dialogs;
    LiveClock clock;
    Form1 form(dialogs, clock);
    if (!form.Form_Load())
        return 0;
    form.show();
    return app.exec();
}
