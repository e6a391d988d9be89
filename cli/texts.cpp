#include "cli/texts.h"
#include "serial/portmap.h"
#include "transfer/exchange.h"

#include <QRegularExpression>
#include <QStringList>

namespace Texts {

const char *const Usage = R"(Használat:
  vivadizuzud-cli ports [--json]
      A soros portok: szám, eszköz, állapot (szabad, foglalt és ki használja,
      nincs jogosultság, konzol) és hogy mi van rajta (USB-azonosító, gyártó,
      termék, sorozatszám). --json: ugyanez JSON-tömbként.
  vivadizuzud-cli readout [--port N] FÁJL
      Kiolvassa a kártyaolvasó kódmemóriáját, és az érvényes kódokat a FÁJL
      végére írja egy fejlécsor alatt. Hiba esetén a fájl változatlan marad
      (új fájl nem jön létre).
  vivadizuzud-cli upload [--port N] --time T FÁJL
      A FÁJL minden kártyakódját beírja a kártyaolvasóba T nyitási idővel (1-127).
      Ha egy kártyasor hibás, semmit sem küld el.
  vivadizuzud-cli verify [--port N] [--time T] FÁJL
      Kiolvassa a kártyaolvasót, és kód szerint összeveti a FÁJL kódjaival:
      mi hiányzik, mi van többlet, és --time esetén mi van más nyitási idővel.
      Semmit sem ír.
  vivadizuzud-cli sync [--port N] [--door NÉV] --time T [--dry-run] [--yes] [--new-reader] FÁJL
      A kártyaolvasó pontosan a FÁJL kártyáit tartalmazza majd, T nyitási
      idővel: előbb pillanatkép a mostani tartalomról, terv (mi kerül be, mi
      törlődik, minek változik az ideje), megerősítés, beírás, törlés, végül
      ellenőrző kiolvasás és újabb pillanatkép. Ha a program már megtanulta,
      hová teszi a kártyaolvasó a rekordokat, csak a változó helyeket írja,
      és a listán lévő kártyát közben sem veszi ki.
      --dry-run: csak a terv, semmi sem íródik, pillanatkép sem készül.
      --yes: kérdés nélkül (parancsfájlból kötelező).
  vivadizuzud-cli snapshot [--port N] [--door NÉV] [FÁJL]
      A kártyaolvasó teljes memóriája (20490 bájt) pillanatképként: a FÁJL-ba
      (ha még nincs ilyen), vagy a pillanatképek mappájába, az ajtó nevével,
      ha a memóriájáról felismerem, vagy ha meg van adva. Kiírja a helyét.
  vivadizuzud-cli restore [--port N] [--door NÉV] [--dry-run] [--yes] [--new-reader] PILLANATKÉP
      Visszaállítja a pillanatkép kártyáit, mindegyiket a saját nyitási
      idejével, úgy, ahogy a sync: pillanatkép, terv, megerősítés, beírás,
      törlés, ellenőrzés. Egy ajtó pillanatképe --door nélkül annak az
      ajtónak a kártyaolvasójába megy vissza. --new-reader (sync és restore):
      a vonalon lévő kártyaolvasó most a --door ajtóé, bár mást hagytam benne.
  vivadizuzud-cli expiring [--days N] [--json] FÁJL
      A FÁJL kártyái, amelyek utolsó érvényes napja a következő N napban van
      (alapesetben 30), vagy már elmúlt: nap, lejárt-e, kód, név. A kártya a
      sorában a kód előtt viheti az utolsó napját: 1,200,NÉV,2027-03-31,BB...
      Lejárat után a sync kiveszi a kártyaolvasóból, a sora a listán marad.
      Kilépési kód: 0 ha nincs ilyen kártya, 5 ha van.
  vivadizuzud-cli doors [--json]
      Az elnevezett ajtók (kártyaolvasók): port, mikor szinkronizáltam utoljára,
      melyik listával, változott-e azóta a lista, ismert-e az elrendezés.
  vivadizuzud-cli snapshots [--door NÉV] [--json]
      A megőrzött pillanatképek, a legújabb elöl (--door: előbb az ajtó
      sajátjai): mikor, melyik porton, miért, hány kártya, melyik ajtóé, hol.
      A más felhasználótól származó vagy mások által is írható fájlokat
      megjelöli; ezeket a restore nem fogadja el.

Kapcsolók:
  --port N    a kártyaolvasó portja (1-256). Nélküle: a mentett port, ha szabad,
              különben az első szabad port.
  --door NÉV  a kártyaolvasó neve ("Főbejárat"); megjegyzi a portját is. Ha a
              vonalon egy másik ajtó kártyaolvasója van, semmit sem ír.
  --time T    nyitási idő, 1-127
  --trace F   a vonal minden kerete és döntése az F fájlba (0600), hibajelentéshez
  --json      a lista JSON-ban
  --days N    az expiring ennyi napra előre néz (0-36500)
  --dry-run   a sync csak megmutatja, mit tenne
  --yes       a sync és a restore nem kérdez
  --          a kapcsolók vége: ami utána jön, fájlnév
  --help      ez a leírás
  --version   a program változata

A pillanatképek mappája: $XDG_DATA_HOME/vivadizuzud/snapshots (alapesetben
~/.local/share/vivadizuzud/snapshots). A program sosem írja felül és sosem
törli őket, és csak a felhasználó saját, mások által nem írható mappáját
használja.

Kilépési kód: 0 kész (verify: egyezik; sync --dry-run: nincs mit változtatni),
1 hibás használat vagy elmaradt megerősítés, 2 a port nem használható,
3 a kártyaolvasó vagy a vonal hibája, 4 a kódlistafájl vagy a pillanatképfájl
hibája (vagy több kód, mint amennyit a kártyaolvasó tárol, vagy egy sem),
5 eltérés (verify, sync), 130 megszakítva (Ctrl-C, a terminál vagy a
munkamenet vége).
)";

namespace {

// "a" or "az", as Hungarian wants it before the word.
QString withArticle(const QString &word)
{
    static const QString vowels = QStringLiteral("aáeéiíoóöőuúüűAÁEÉIÍOÓÖŐUÚÜŰ");
    return (!word.isEmpty() && vowels.contains(word.front()) ? QStringLiteral("az ") : QStringLiteral("a ")) + word;
}

} // namespace

QString usageHint(const QString &what)
{
    return QStringLiteral("vivadizuzud-cli: %1\nSúgó: vivadizuzud-cli --help").arg(what);
}

QString missingCommand()
{
    return QStringLiteral("hiányzik a parancs (ports, readout, upload, verify, sync, snapshot, restore vagy snapshots)");
}

QString unknownCommand(const QString &name)
{
    return QStringLiteral("ismeretlen parancs: %1").arg(name);
}

QString optionOfAnotherCommand(const QString &command, const QString &option)
{
    return QStringLiteral("%1 parancs nem ismeri a %2 kapcsolót").arg(withArticle(command), option);
}

QString optionTakesNoValue(const QString &option)
{
    return QStringLiteral("a %1 kapcsoló nem kap értéket").arg(option);
}

QString optionNeedsValue(const QString &option)
{
    return QStringLiteral("a %1 után meg kell adni az értékét").arg(option);
}

QString badPortNumber()
{
    return QStringLiteral("a --port értéke 1 és 256 közötti egész szám");
}

QString badOpeningTime()
{
    return QStringLiteral("a --time értéke (nyitási idő) 1 és 127 közötti egész szám");
}

QString commandNeedsTime(const QString &command)
{
    return QStringLiteral("%1 parancshoz meg kell adni a nyitási időt: --time T (1–127)").arg(withArticle(command));
}

QString commandTakesNoFile(const QString &command)
{
    return QStringLiteral("%1 parancs nem vár fájlt").arg(withArticle(command));
}

QString commandTakesOneFile(const QString &command)
{
    return QStringLiteral("%1 parancs egy fájlt vár").arg(withArticle(command));
}

QString nameNotUtf8(const QString &file)
{
    return QStringLiteral("a fájl neve nem érvényes UTF-8 szöveg: %1").arg(file);
}

QString portStateWord(const PortProbe &probe)
{
    switch (probe.state) {
    case PortState::Free: return QStringLiteral("szabad");
    case PortState::Console: return QStringLiteral("konzol");
    case PortState::NoPermission: return QStringLiteral("nincs jogosultság (dialout csoport)");
    case PortState::Held: return QStringLiteral("foglalt: ") + holders(probe.holders);
    case PortState::Missing: break;
    }
    return {};
}

QString portTable(const QList<QStringList> &rows)
{
    const QList<QStringList> all = QList<QStringList>{{QStringLiteral("SZÁM"), QStringLiteral("ESZKÖZ"),
                                                       QStringLiteral("ÁLLAPOT"), QStringLiteral("LEÍRÁS")}}
        + rows;
    QList<qsizetype> widths(4, 0);
    for (const QStringList &row : all)
        for (int column = 0; column < 3; ++column)
            widths[column] = qMax(widths[column], row.value(column).size());
    QString table;
    for (const QStringList &row : all) {
        QString line;
        for (int column = 0; column < 4; ++column)
            line += row.value(column).leftJustified(column < 3 ? widths[column] + 2 : 0);
        table += line.trimmed() + QLatin1Char('\n');
    }
    return table;
}

QString whyNoPortIsFree()
{
    return QStringLiteral("Melyik port miért nem szabad: vivadizuzud-cli ports");
}

QString badDays()
{
    return QStringLiteral("a --days értéke 0 és 36500 közötti egész szám");
}

QString expiringLine(const ListedCard &card, bool expired)
{
    return QStringLiteral("%1  %2  %3%4\n")
        .arg(card.lastDay.toString(Qt::ISODate), expired ? QStringLiteral("lejárt   ") : QStringLiteral("lejár    "),
             hexCode(card.code), card.name.isEmpty() ? QString() : QStringLiteral("  ") + card.name);
}

QString noneExpiring(int days)
{
    return QStringLiteral("Egy kártya sem jár le a következő %1 napban, és egy sem járt le.").arg(days);
}

QString permissionTip()
{
    return QStringLiteral("Tipp: a soros portot csak a dialout csoport tagjai nyithatják meg: ") + dialoutAdvice();
}

QString snapshotKept(SnapshotReason reason, const QString &path)
{
    return QStringLiteral("Pillanatkép (%1): %2\n").arg(reasonWord(reason), path);
}

// The door column of the snapshots' table, when there is one.
static QString doorColumn(const QString &text, int doorWidth)
{
    return doorWidth > 0 ? QStringLiteral("%1  ").arg(text, -std::max(doorWidth, 4)) : QString();
}

QString snapshotsHeader(int doorWidth)
{
    return QStringLiteral("%1  %2  %3  %4  %5%6\n")
        .arg(QStringLiteral("IDŐPONT"), -19)
        .arg(QStringLiteral("PORT"), -4)
        .arg(QStringLiteral("MIÉRT"), -19)
        .arg(QStringLiteral("KÁRTYA"), 6)
        .arg(doorColumn(QStringLiteral("AJTÓ"), doorWidth), QStringLiteral("FÁJL"));
}

QString snapshotsRow(const SnapshotInfo &info, int doorWidth)
{
    return QStringLiteral("%1  %2  %3  %4  %5%6%7\n")
        .arg(info.taken.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), -19)
        .arg(info.port, -4)
        .arg(reasonWord(info.reason), -19)
        .arg(info.cards >= 0 ? QString::number(info.cards) : QStringLiteral("?"), 6)
        .arg(doorColumn(info.door, doorWidth), info.path,
             info.foreign ? QStringLiteral("  (IDEGEN: nem használható)") : QString());
}

QString noSnapshotsYet(const QString &folder)
{
    return QStringLiteral("Még nincs pillanatkép (%1).").arg(folder);
}

QString noSnapshotTaken()
{
    return QStringLiteral("Pillanatkép nem készült.");
}

QString snapshotFolderUnreadable(const QString &folder, FileFault fault)
{
    return QStringLiteral("A pillanatképek mappája (%1) nem olvasható: %2.").arg(folder, fileFaultReason(fault));
}

QString foreignSnapshotsMarked()
{
    return QStringLiteral("Az IDEGEN jelű fájlok más felhasználóéi, vagy mások is írhatják őket: a restore nem "
                          "használja őket.");
}

QString question(const SyncPlan &plan)
{
    const int erases = int(std::count_if(plan.writes.begin(), plan.writes.end(),
                                         [](const PlannedWrite &w) { return w.purpose == PlannedWrite::Erase; }));
    const QString what = plan.byLayout
        ? QStringLiteral("Beírjam a változásokat a kártyaolvasóba")
        : QStringLiteral("Beírjam a kártyákat a kártyaolvasóba, és töröljem alattuk a többi %1 helyet").arg(erases);
    return QStringLiteral("%1? %2 [igen/nem]: ").arg(what, workEstimate(plan));
}

QString needsConfirmation(const QString &command)
{
    return QStringLiteral("A %1 parancs a beírás előtt megerősítést kér, de a szabványos bemenet nem terminál: "
                          "semmit sem küldtem. Parancsfájlból a --yes kapcsolóval fut le kérdés nélkül.")
        .arg(command);
}

QString repeatCommand(const QString &repeat)
{
    return QStringLiteral("Ismételje meg a parancsot: %1").arg(repeat);
}

QString checkAgain(const QString &check)
{
    return QStringLiteral("Ellenőrzés: %1").arg(check);
}

QString newReaderAdvice()
{
    return QStringLiteral("Ha ez valóban az ajtó kártyaolvasója (kicserélték, vagy más program írt bele), a --new-reader "
                          "kapcsolóval újra megismerem ezen a néven; ha nem, a --door kapcsolóval nevezze meg, melyik ajtóé.");
}

QString otherDoorAdvice(const QString &chosen)
{
    return QStringLiteral("Vigye a kábelt a(z) „%1” kártyaolvasójához, vagy ha ezt az ajtót akarja, a --door kapcsolóval "
                          "nevezze meg.")
        .arg(chosen);
}

QString commandLine(const QStringList &arguments)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    QString line = QStringLiteral("vivadizuzud-cli");
    for (QString word : arguments) {
        if (!plain.match(word).hasMatch())   // '...' keeps every byte but ', which ends, is escaped, begins again
            word = QLatin1Char('\'') + word.replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
        line += QLatin1Char(' ') + word;
    }
    return line;
}

QString stopAdvice(const QString &repeat, const QString &before)
{
    QString text = QStringLiteral("Ugyanez a parancs újra futtatva befejezi a munkát: %1").arg(repeat);
    if (!before.isEmpty())
        text += QStringLiteral("\nA változtatás előtti állapot pillanatképe (ide lehet visszatérni): %1").arg(before);
    return text;
}

QString phaseWord(int phase)
{
    switch (ProgressView::Phase(phase)) {
    case ProgressView::Phase::Reading: return QStringLiteral("olvasás");
    case ProgressView::Phase::Writing: return QStringLiteral("írás");
    case ProgressView::Phase::Erasing: return QStringLiteral("törlés");
    case ProgressView::Phase::Checking: break;
    }
    return QStringLiteral("ellenőrzés");
}

QString progressCount(int phase, int done, int total, bool bytes)
{
    return QStringLiteral("%1: %2/%3 %4")
        .arg(phaseWord(phase))
        .arg(done)
        .arg(total)
        .arg(bytes ? QStringLiteral("bájt") : QStringLiteral("rekord"));
}

QString progressLeft(int percent, const QString &timeLeft)
{
    return QStringLiteral("%1%  hátra: %2").arg(percent, 3).arg(timeLeft);
}

QString phaseLine(int phase, int records)
{
    const auto p = ProgressView::Phase(phase);
    if (ProgressView::readsDump(p))
        return QStringLiteral("%1: a kártyaolvasó teljes memóriája (kb. %2 másodperc)")
            .arg(capitalized(phaseWord(phase)))
            .arg(DumpWholeSeconds);
    return QStringLiteral("%1: %2 rekord (kb. %3 másodperc)")
        .arg(capitalized(phaseWord(phase)))
        .arg(records)
        .arg(qMax(1, qRound(records * RecordSeconds)));
}

QString noDoorsYet()
{
    return QStringLiteral("Még nincs elnevezett ajtó: a sync vagy a restore --door NÉV kapcsolóval ad nevet a "
                          "kártyaolvasónak.");
}

QString doorRow(const Door &door, const DoorStanding &standing)
{
    const QString when = door.synced.isValid() ? door.synced.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                               : QStringLiteral("-");
    return QStringLiteral("%1  %2  %3  %4  %5%6\n")
        .arg(door.name, portDisplayName(door.port), when, doorState(standing),
             door.list.isEmpty() ? QStringLiteral("-") : door.list,
             door.layoutKnown ? QString() : QStringLiteral("  (elrendezés még nem ismert)"));
}

} // namespace Texts
