// vivadizuzud-cli: the card reader from a terminal or a script. Which port is
// which, readout, upload, and whether the reader holds what a list says.

#include "cli/commands.h"
#include "serial/portmap.h"

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <functional>

namespace {

const char *const Usage = R"(Használat:
  vivadizuzud-cli ports [--json]
      A soros portok: szám, eszköz, állapot (szabad, foglalt és ki használja,
      nincs jogosultság, konzol) és hogy mi van rajta (USB azonosító, gyártó,
      termék, sorozatszám). --json: ugyanez JSON tömbként.
  vivadizuzud-cli readout [--port N] FÁJL
      Kiolvassa a kártyaolvasó kódmemóriáját, és az érvényes kódokat a FÁJL
      végére írja egy fejléc sor alatt. Hiba esetén a fájl változatlan marad.
  vivadizuzud-cli upload [--port N] --time T FÁJL
      A FÁJL minden kártyakódját beírja a kártyaolvasóba T nyitási idővel (1-127).
  vivadizuzud-cli verify [--port N] [--time T] FÁJL
      Kiolvassa a kártyaolvasót, és kód szerint összeveti a FÁJL kódjaival:
      mi hiányzik, mi van többlet, és --time esetén mi van más nyitási idővel.
      Semmit sem ír.

Kapcsolók:
  --port N    a kártyaolvasó portja (1-256). Nélküle: a mentett port, ha szabad,
              különben az első szabad port.
  --time T    nyitási idő, 1-127
  --json      a portlista JSON-ban
  --help      ez a leírás
  --version   a program változata

Kilépési kód: 0 kész (verify: egyezik), 1 hibás használat, 2 a port nem
használható, 3 a kártyaolvasó vagy a vonal hibája, 4 a kódlista fájl hibája
(vagy több kód, mint amennyit a kártyaolvasó tárol), 5 a verify eltérést talált,
130 megszakítva (Ctrl-C).
)";

int usageError(const QString &what)
{
    fprintf(stderr, "vivadizuzud-cli: %s\nSúgó: vivadizuzud-cli --help\n", what.toLocal8Bit().constData());
    return ExitUsage;
}

// A whole number in [low, high], or nothing.
std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

void onSignal(int)
{
    requestStop();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        fputs(Usage, stdout);
        return ExitDone;
    }
    if (args.contains(QLatin1String("--version"))) {
        printf("vivadizuzud-cli %s\n", VIVADIZUZUD_VERSION);
        return ExitDone;
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("hiányzik a parancs (ports, readout, upload vagy verify)"));

    const QString command = args.takeFirst();
    Options options;
    QStringList files;
    while (!args.isEmpty()) {
        QString arg = args.takeFirst();
        QString value;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
        } else if ((arg == QLatin1String("--port") || arg == QLatin1String("--time")) && !args.isEmpty()) {
            value = args.takeFirst();
        }
        if (arg == QLatin1String("--port")) {
            options.port = wholeNumber(value, FirstPortNumber, LastPortNumber);
            if (!options.port)
                return usageError(QStringLiteral("a --port értéke 1 és 256 közötti egész szám"));
        } else if (arg == QLatin1String("--time")) {
            options.openingTime = wholeNumber(value, 1, 127);
            if (!options.openingTime)
                return usageError(QStringLiteral("a --time értéke (nyitási idő) 1 és 127 közötti egész szám"));
        } else if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            return usageError(QStringLiteral("ismeretlen kapcsoló: %1").arg(arg));
        } else {
            files.append(arg);
        }
    }

    const std::function<int(const Options &)> run = command == QLatin1String("ports") ? listPorts
        : command == QLatin1String("readout")                                         ? readout
        : command == QLatin1String("upload")                                          ? upload
        : command == QLatin1String("verify")                                          ? verify
                                                                                      : nullptr;
    if (!run)
        return usageError(QStringLiteral("ismeretlen parancs: %1").arg(command));
    const bool isPorts = command == QLatin1String("ports");
    if (isPorts ? !files.isEmpty() : files.size() != 1)
        return usageError(isPorts ? QStringLiteral("a ports parancs nem vár fájlt")
                                  : QStringLiteral("a %1 parancs egy kódlista fájlt vár").arg(command));
    if (!isPorts && (options.json))
        return usageError(QStringLiteral("a --json csak a ports parancshoz tartozik"));
    options.file = files.value(0);

    // Ctrl-C ends the transfer at its next pause: the port is released and a
    // readout's file is left as it was.
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return run(options);
}
