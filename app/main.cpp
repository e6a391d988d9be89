#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "transfer/liveclock.h"
#include "app/stopsignals.h"

#include <QApplication>
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const Usage = R"(Használat: vivadizuzud [--help] [--version]

Ablakot nyit, amelyben a kaputelefon kártyaolvasójának kódmemóriája a soros
porton át a kódlistafájlba olvasható (Kiolvasás az SD kártyára), vagy a fájl
kódjai a kártyaolvasóba tölthetők (Rátöltés az SD kártyáról).
Egyszerre egy példány futhat a gépen. Parancssorból: vivadizuzud-cli --help
)";

const char *const NoDisplay =
    "vivadizuzud: nincs grafikus kijelző, az ablak nem nyitható meg "
    "(grafikus munkamenetből indítsa, vagy parancssorból: vivadizuzud-cli).\n";

// Qt ends a program it cannot give a window to with an abort; the person gets
// one line instead. Qt's own words on the way there are held back.
QtMessageHandler g_previousHandler = nullptr;
QList<std::pair<QtMsgType, QString>> g_heldBack;

void holdBackUntilUp(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        fputs(NoDisplay, stderr);
        std::_Exit(1);
    }
    g_heldBack.append({type, message});
}

bool hasDisplay()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(Usage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--version")) {
            printf("vivadizuzud %s\n", VIVADIZUZUD_VERSION);
            return 0;
        }
    }
    if (!hasDisplay()) {
        fputs(NoDisplay, stderr);
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(holdBackUntilUp);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const auto &[type, message] : g_heldBack)
        qt_message_output(type, QMessageLogContext(), message);
    QApplication::setApplicationName(QStringLiteral("Vivadizuzud"));

    // The window speaks Hungarian; the standard dialogs should too.
    installQtHungarian();

    QtDialogs dialogs;
    LiveClock clock;
    MainWindow form(dialogs, clock);
    // Ended from outside (logout, a closed terminal, Ctrl-C): a running
    // transfer stops at its next pause, then the window goes as by its close
    // box, and the port is given back with it.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &form, &MainWindow::endFromOutside);
    if (!form.Form_Load() || form.endRequested())   // asked to end during a start-up dialog
        return 0;
    form.show();
    return app.exec();
}
