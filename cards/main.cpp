// vivadizuzud-cards: the card window, for a caretaker who never opens a
// terminal: names, adds, removes, checks and syncs cards, and goes back.

#include "desktop/dialogs.h"
#include "desktop/stopsignals.h"
#include "desktop/windowstart.h"
#include "cards/cardwindow.h"
#include "cards/texts.h"
#include "desktop/liveclock.h"

#include <QApplication>
#include <QTimer>

namespace {

const char *const Usage = R"(Használat: vivadizuzud-cards [--trace NYOMKÖVETÉS] [FÁJL]

A kártyák ablaka: a kódlista kártyái névvel; új kártya, törlés, átnevezés,
visszavonás; összevetés a kártyaolvasóval, szinkronizálás, pillanatképek és
visszaállítás. A soros portot csak addig tartja, amíg a kártyaolvasóval beszél.
)";

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = answerWithoutWindow(argc, argv, "vivadizuzud-cards", Usage); status >= 0)
        return status;
    const std::unique_ptr<QApplication> app = startApplication(argc, argv, "vivadizuzud-cards");
    const std::optional<QStringList> args = windowArguments("vivadizuzud-cards");
    if (!args)
        return 1;
    QApplication::setApplicationName(Texts::CardsTitle);   // what a screen reader calls the program
    QApplication::setApplicationDisplayName(Texts::CardsTitle);
    QApplication::setDesktopFileName(QStringLiteral("vivadizuzud-cards"));

    QtDialogs dialogs(Texts::CardsTitle);
    LiveClock clock;
    CardWindow window(dialogs, clock);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &window, &CardWindow::endFromOutside);
    QObject::connect(app.get(), &QGuiApplication::commitDataRequest, &window, &CardWindow::keepUnsavedEdits);
    window.show();
    // The list is opened inside the event loop, so that a stop signal during
    // its first question still ends the program.
    QTimer::singleShot(0, &window, [&window, &dialogs, args = *args] {
        if (const QString problem = Texts::settingsProblem(); !problem.isEmpty())
            dialogs.message(&window, problem);
        if (!args.isEmpty())
            window.openList(args.first());
        else
            window.offerUnsavedNewList();
    });
    return app->exec();
}
