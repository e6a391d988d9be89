#include "desktop/dialogs.h"
#include "app/mainwindow.h"
#include "desktop/stopsignals.h"
#include "app/texts.h"
#include "desktop/windowstart.h"
#include "desktop/liveclock.h"

namespace {

const char *const Usage = R"(Használat: vivadizuzud [--help] [--version] [--trace NYOMKÖVETÉS]

Ablakot nyit, amelyben a kaputelefon kártyaolvasójának kódmemóriája a soros
porton át a kódlistafájlba olvasható (Kiolvasás az SD kártyára), vagy a fájl
kódjai a kártyaolvasóba tölthetők (Rátöltés az SD kártyáról).
Egyszerre egy példány futhat a gépen. Parancssorból: vivadizuzud-cli --help
)";

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = answerWithoutWindow(argc, argv, "vivadizuzud", Usage); status >= 0)
        return status;
    const std::unique_ptr<QApplication> app = startApplication(argc, argv, "vivadizuzud");
    if (!windowArguments("vivadizuzud"))
        return 1;

    QtDialogs dialogs(Texts::WindowTitle);
    LiveClock clock;
    MainWindow form(dialogs, clock);
    // Ended from outside (logout, a closed terminal, Ctrl-C): a running
    // transfer stops at its next pause, then the window goes as by its close
    // box, and the port is given back with it.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &form, &MainWindow::endFromOutside);
    if (const QString problem = Texts::settingsProblem(); !problem.isEmpty())
        dialogs.message(nullptr, problem);
    if (!form.start() || form.endRequested())   // asked to end during a start-up dialog
        return 0;
    form.show();
    return app->exec();
}
