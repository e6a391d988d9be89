// vivadizuzud-cards: the card window, for a caretaker who never opens a
// terminal: names, adds, removes, checks and syncs cards, and goes back.

#include "app/dialogs.h"
#include "app/stopsignals.h"
#include "cards/cardwindow.h"
#include "cards/texts.h"
#include "transfer/liveclock.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

const char *const Usage = R"(Használat: vivadizuzud-cards [FÁJL]

A kártyák ablaka: a kódlista kártyái névvel; új kártya, törlés, átnevezés,
visszavonás; összevetés a kártyaolvasóval, szinkronizálás, pillanatképek és
visszaállítás. A soros portot csak addig tartja, amíg a kártyaolvasóval beszél.
)";

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(Usage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--version")) {
            printf("vivadizuzud-cards %s\n", VIVADIZUZUD_VERSION);
            return 0;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        fputs("vivadizuzud-cards: nincs grafikus kijelző, az ablak nem nyitható meg.\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vivadizuzud"));
    QApplication::setApplicationDisplayName(Texts::CardsTitle);
    QApplication::setDesktopFileName(QStringLiteral("vivadizuzud-cards"));
    installQtHungarian();

    QtDialogs dialogs(Texts::CardsTitle);
    LiveClock clock;
    CardWindow window(dialogs, clock);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &window, &CardWindow::endFromOutside);
    window.show();
    const QStringList args = QApplication::arguments().mid(1);
    if (!args.isEmpty())
        window.openList(args.first());
    else
        QTimer::singleShot(0, &window, &CardWindow::open);
    return app.exec();
}
