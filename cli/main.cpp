// vivadizuzud-cli: the card reader from a terminal or a script. Which port is
// which, readout, upload, and whether the reader holds what a list says.

#include "cli/commands.h"
#include "serial/portmap.h"
#include "transfer/codelist.h"

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <algorithm>

namespace {

const char *const Usage = R"(Használat:
  vivadizuzud-cli ports [--json]
      A soros portok: szám, eszköz, állapot (szabad, foglalt és ki használja,
      nincs jogosultság, konzol) és hogy mi van rajta (USB azonosító, gyártó,
      termék, sorozatszám). --json: ugyanez JSON tömbként.
  vivadizuzud-cli readout [--port N] FÁJL
      Kiolvassa a kártyaolvasó kódmemóriáját, és az érvényes kódokat a FÁJL
      végére írja egy fejléc sor alatt. Hiba esetén a fájl változatlan marad
      (új fájl nem jön létre).
  vivadizuzud-cli upload [--port N] --time T FÁJL
      A FÁJL minden kártyakódját beírja a kártyaolvasóba T nyitási idővel (1-127).
      Ha egy kártyasor hibás, semmit sem küld el.
  vivadizuzud-cli verify [--port N] [--time T] FÁJL
      Kiolvassa a kártyaolvasót, és kód szerint összeveti a FÁJL kódjaival:
      mi hiányzik, mi van többlet, és --time esetén mi van más nyitási idővel.
      Semmit sem ír.
  vivadizuzud-cli sync [--port N] --time T [--dry-run] [--yes] FÁJL
      A kártyaolvasó pontosan a FÁJL kártyáit tartalmazza majd, T nyitási
      idővel: előbb pillanatkép a mostani tartalomról, terv (mi kerül be, mi
      törlődik, minek változik az ideje), megerősítés, beírás, a többi hely
      törlése, végül ellenőrző kiolvasás és újabb pillanatkép.
      --dry-run: csak a terv, semmi sem íródik, pillanatkép sem készül.
      --yes: kérdés nélkül (parancsfájlból kötelező).
  vivadizuzud-cli snapshot [--port N] [FÁJL]
      A kártyaolvasó teljes memóriája (20490 bájt) pillanatképként: a FÁJL-ba
      (ha még nincs ilyen), vagy a pillanatképek mappájába. Kiírja a helyét.
  vivadizuzud-cli restore [--port N] [--yes] PILLANATKÉP
      Visszaállítja a pillanatkép kártyáit, mindegyiket a saját nyitási
      idejével, úgy, ahogy a sync: pillanatkép, terv, megerősítés, beírás,
      törlés, ellenőrzés.
  vivadizuzud-cli snapshots [--json]
      A megőrzött pillanatképek, a legújabb elöl: mikor, melyik porton, miért,
      hány kártya, hol.

Kapcsolók:
  --port N    a kártyaolvasó portja (1-256). Nélküle: a mentett port, ha szabad,
              különben az első szabad port.
  --time T    nyitási idő, 1-127
  --json      a lista JSON-ban
  --dry-run   a sync csak megmutatja, mit tenne
  --yes       a sync és a restore nem kérdez
  --          a kapcsolók vége: ami utána jön, fájlnév
  --help      ez a leírás
  --version   a program változata

A pillanatképek mappája: $XDG_DATA_HOME/vivadizuzud/snapshots (alapesetben
~/.local/share/vivadizuzud/snapshots). A program sosem írja felül és sosem
törli őket.

Kilépési kód: 0 kész (verify: egyezik; sync --dry-run: nincs mit változtatni),
1 hibás használat vagy elmaradt megerősítés, 2 a port nem használható,
3 a kártyaolvasó vagy a vonal hibája, 4 a kódlista vagy a pillanatkép fájl
hibája (vagy több kód, mint amennyit a kártyaolvasó tárol, vagy egy sem),
5 eltérés (verify, sync), 130 megszakítva (Ctrl-C, a terminál vagy a
munkamenet vége).
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

// A command, the options it takes and how many files it wants.
struct Command {
    const char *name;
    int (*run)(const Options &);
    QStringList options;
    int minFiles, maxFiles;
    bool needsTime = false;   // what it writes into the reader has an opening time
};

const Command Commands[] = {
    {"ports", listPorts, {QStringLiteral("--json")}, 0, 0},
    {"readout", readout, {QStringLiteral("--port")}, 1, 1},
    {"upload", upload, {QStringLiteral("--port"), QStringLiteral("--time")}, 1, 1, true},
    {"verify", verify, {QStringLiteral("--port"), QStringLiteral("--time")}, 1, 1},
    {"sync", sync, {QStringLiteral("--port"), QStringLiteral("--time"), QStringLiteral("--dry-run"), QStringLiteral("--yes")}, 1, 1, true},
    {"snapshot", snapshot, {QStringLiteral("--port")}, 0, 1},
    {"restore", restore, {QStringLiteral("--port"), QStringLiteral("--yes")}, 1, 1},
    {"snapshots", listSnapshots, {QStringLiteral("--json")}, 0, 0},
};

bool takesValue(const QString &option)
{
    return option == QLatin1String("--port") || option == QLatin1String("--time");
}

// "a" or "az", as Hungarian wants it before the word.
QString withArticle(const QString &word)
{
    static const QString vowels = QStringLiteral("aáeéiíoóöőuúüűAÁEÉIÍOÓÖŐUÚÜŰ");
    return (!word.isEmpty() && vowels.contains(word.front()) ? QStringLiteral("az ") : QStringLiteral("a ")) + word;
}

// Reads the options and files of a command into options; an error message, or empty.
QString parseArguments(const Command &command, QStringList args, Options &options, QStringList &files)
{
    bool optionsEnded = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            files.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const bool inline_ = arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='));
        const QString name = inline_ ? arg.section(QLatin1Char('='), 0, 0) : arg;
        QString value = inline_ ? arg.section(QLatin1Char('='), 1) : QString();
        if (!command.options.contains(name)) {
            const bool known = std::any_of(std::begin(Commands), std::end(Commands),
                                           [&](const Command &c) { return c.options.contains(name); });
            return known ? QStringLiteral("%1 parancs nem ismeri a %2 kapcsolót")
                               .arg(withArticle(QLatin1String(command.name)), name)
                         : QStringLiteral("ismeretlen kapcsoló: %1").arg(name);
        }
        if (!takesValue(name)) {
            if (inline_)
                return QStringLiteral("a %1 kapcsoló nem kap értéket").arg(name);
        } else if (!inline_) {
            if (args.isEmpty())
                return QStringLiteral("a %1 után meg kell adni az értékét").arg(name);
            value = args.takeFirst();
        }
        if (name == QLatin1String("--port")) {
            options.port = wholeNumber(value, FirstPortNumber, LastPortNumber);
            if (!options.port)
                return QStringLiteral("a --port értéke 1 és 256 közötti egész szám");
        } else if (name == QLatin1String("--time")) {
            options.openingTime = wholeNumber(value, 1, 127);
            if (!options.openingTime)
                return QStringLiteral("a --time értéke (nyitási idő) 1 és 127 közötti egész szám");
        } else if (name == QLatin1String("--json")) {
            options.json = true;
        } else if (name == QLatin1String("--dry-run")) {
            options.dryRun = true;
        } else if (name == QLatin1String("--yes")) {
            options.yes = true;
        }
    }
    if (command.needsTime && !options.openingTime)
        return QStringLiteral("%1 parancshoz meg kell adni a nyitási időt: --time T (1–127)")
            .arg(withArticle(QLatin1String(command.name)));
    if (files.size() < command.minFiles || files.size() > command.maxFiles) {
        return command.maxFiles == 0 ? QStringLiteral("%1 parancs nem vár fájlt").arg(withArticle(QLatin1String(command.name)))
                                     : QStringLiteral("%1 parancs egy fájlt vár").arg(withArticle(QLatin1String(command.name)));
    }
    for (const QString &file : files) {
        // Such a name would be turned into another one on the way to the file system.
        if (!isFaithfulFileName(file))
            return QStringLiteral("a fájl neve nem érvényes UTF-8 szöveg: %1").arg(file);
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const QStringList beforeEnd = args.mid(0, args.indexOf(QLatin1String("--")));
    if (beforeEnd.contains(QLatin1String("--help")) || beforeEnd.contains(QLatin1String("-h"))) {
        fputs(Usage, stdout);
        return ExitDone;
    }
    if (beforeEnd.contains(QLatin1String("--version"))) {
        printf("vivadizuzud-cli %s\n", VIVADIZUZUD_VERSION);
        return ExitDone;
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("hiányzik a parancs (ports, readout, upload, verify, sync, snapshot, "
                                         "restore vagy snapshots)"));

    const QString name = args.takeFirst();
    const auto command = std::find_if(std::begin(Commands), std::end(Commands),
                                      [&](const Command &c) { return name == QLatin1String(c.name); });
    if (command == std::end(Commands))
        return usageError(QStringLiteral("ismeretlen parancs: %1").arg(name));
    Options options;
    QStringList files;
    if (const QString error = parseArguments(*command, args, options, files); !error.isEmpty())
        return usageError(error);
    options.file = files.value(0);
    if (const QString problem = portMapProblem(); !problem.isEmpty())
        fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());

    // A stop (Ctrl-C, the terminal closed, the session ending) ends the
    // transfer at its next pause: the port is released and a readout's file
    // is left as it was.
    struct sigaction action {};
    action.sa_handler = onSignal;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    return command->run(options);
}
