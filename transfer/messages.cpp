#include "transfer/messages.h"
#include "transfer/dumpnote.h"
#include "serial/usersettings.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"

#include <QStandardPaths>
#include <algorithm>
#include <cerrno>

namespace {

QString fileLabel(const QString &path)
{
    return path.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(path);
}

// A line of someone's file, fit to be shown: control characters and bytes that
// are no UTF-8 become "?", and a long line is cut.
QString shownLine(const QByteArray &line)
{
    constexpr int MaxShown = 60;
    QString text = QString::fromUtf8(line.left(4 * MaxShown));
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QChar::ReplacementCharacter)
            c = QLatin1Char('?');
    }
    return text.size() > MaxShown ? text.left(MaxShown) + QStringLiteral("…") : text;
}


QString cardLines(const QList<DumpRecord> &records, const CodeList *list)
{
    QString text;
    for (const DumpRecord &record : records)
        text += Texts::cardLine(record.code, list ? list->nameOf(record.code) : QString()) + QLatin1Char('\n');
    return text;
}

QString section(const QString &title, const QList<DumpRecord> &records, const CodeList *list)
{
    return records.isEmpty() ? QString() : title.arg(records.size()) + QLatin1Char('\n') + cardLines(records, list);
}

// The cards a list names with a last day that is past (a code the list still
// wanted would not be going), and the others.
std::pair<QList<DumpRecord>, QList<DumpRecord>> splitExpired(const QList<DumpRecord> &records, const CodeList *list)
{
    QList<DumpRecord> expired, others;
    for (const DumpRecord &record : records) {
        (list && list->dayLineOf(record.code) ? expired : others).append(record);
    }
    return {expired, others};
}

QString expiredSection(const QString &title, const QList<DumpRecord> &records, const CodeList *list)
{
    if (records.isEmpty())
        return {};
    QString text = title.arg(records.size()) + QLatin1Char('\n');
    for (const DumpRecord &record : records) {
        const ListedCard *card = list->dayLineOf(record.code);
        const QString name = card->name.isEmpty() ? list->nameOf(record.code) : card->name;
        text += Texts::cardLine(record.code, name) + QStringLiteral(" (utolsó nap: %1)\n").arg(card->lastDay.toString(Qt::ISODate));
    }
    return text;
}

// Cards held with another opening time than wanted; each line says the times in its own words.
QString timeSection(const QString &title, const QString &eachLine, const QList<TimeChange> &changes, const CodeList *list)
{
    if (changes.isEmpty())
        return {};
    QString text = title.arg(changes.size()) + QLatin1Char('\n');
    for (const TimeChange &change : changes)
        text += eachLine.arg(Texts::cardLine(change.code, list ? list->nameOf(change.code) : QString()))
                    .arg(change.held)
                    .arg(change.wanted)
            + QLatin1Char('\n');
    return text;
}

// About a sync: what it counts, and what a whole one takes at the line's pace.
QString minutes(double seconds)
{
    return QString::number(seconds / 60.0, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}

double planSeconds(const SyncPlan &plan)
{
    return DumpSeconds + double(plan.writes.size()) * RecordSeconds;
}

} // namespace

namespace Texts {

QString capitalized(const QString &text)
{
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

QString theCode(const CardCode &code)
{
    const QString hex = hexCode(code);
    const bool vowel = QStringLiteral("15AEF").contains(hex.front());   // egy, öt, á, é, ef
    return (vowel ? QStringLiteral("az ") : QStringLiteral("a ")) + hex;
}

QString theNth(qint64 number)
{
    // "az" where the number's first word starts with a vowel: egy (1, but not tíz or száz), ezer, egymillió; öt...
    const QString digits = QString::number(qAbs(number));
    const bool vowel = digits.startsWith(QLatin1Char('5')) || (digits.startsWith(QLatin1Char('1')) && digits.size() % 3 == 1);
    return QStringLiteral("%1 %2.").arg(vowel ? QStringLiteral("az") : QStringLiteral("a")).arg(number);
}


QString fileFaultReason(FileFault fault)
{
    switch (fault) {
    case FileFault::None: return {};
    case FileFault::NoName: return QStringLiteral("nincs kiválasztva fájl");
    case FileFault::BadName:
        return QStringLiteral("a fájl neve nem érvényes UTF-8 szöveg (vagy helyettesítő karaktert tartalmaz)");
    case FileFault::Missing: return QStringLiteral("a fájl vagy a mappája nem létezik");
    case FileFault::NotRegular:
        return QStringLiteral("ez nem közönséges fájl (hanem mappa, eszköz vagy csővezeték)");
    case FileFault::NoPermission: return QStringLiteral("nincs hozzá jogosultság");
    case FileFault::ReadOnly: return QStringLiteral("a lemez csak olvasható");
    case FileFault::DiskFull: return QStringLiteral("megtelt a lemez");
    case FileFault::Exists: return QStringLiteral("már van ilyen nevű fájl, és az megmarad");
    case FileFault::NotASnapshot:
        return QStringLiteral("nem pillanatkép: a kártyaolvasó memóriájának pillanatképe pontosan 20490 bájt");
    case FileFault::NotOwn:
        return QStringLiteral("nem ennek a felhasználónak a sajátja, vagy mások is írhatják, ezért nem megbízható");
    case FileFault::Link:
        return QStringLiteral("hivatkozás (symlink) áll a helyén, és a program azon át nem dolgozik: csak a felhasználó saját, "
                              "valódi fájljait és mappáit használja");
    case FileFault::Replaced:
        return QStringLiteral("a név mögött már nem az a fájl áll, amelyet megnyitottam (hivatkozás vagy másik fájl "
                              "került a helyére)");
    case FileFault::WriteProtected: return QStringLiteral("a fájl csak olvasható");
    case FileFault::TooLarge: return QStringLiteral("túl nagy ahhoz, hogy kódlista legyen");
    case FileFault::Other: break;
    }
    return QStringLiteral("olvasási vagy írási hiba");
}

QString holders(const QList<PortHolder> &holders)
{
    QStringList who;
    for (const PortHolder &holder : holders)
        who.append(holder.program.isEmpty() ? QString::number(holder.pid)
                                            : QStringLiteral("%1 %2").arg(holder.pid).arg(holder.program));
    return who.join(QStringLiteral(", "));
}

QString heldBy(const QList<PortHolder> &list)
{
    return QStringLiteral("Használja: ") + holders(list);
}

QString traceUnwritable(const QString &path, int error)
{
    const QString why = error == ELOOP ? QStringLiteral("hivatkozás (symlink) áll a helyén, és azon át nem írok")
        : error == EPERM                ? QStringLiteral("nem közönséges fájl, vagy más felhasználóé")
        : error == EEXIST               ? QStringLiteral("már van ilyen fájl, és nem nyomkövetés (vagy más neve is van): "
                                                         "felül nem írom, adjon meg új nevet")
                                        : fileFaultReason(faultFromErrno(error));
    return QStringLiteral("A vonal nyomkövetése nem írható ide (%1): %2.").arg(path, why);
}

QString portDisplayName(int portNumber)
{
    // The ending follows how the number's last word sounds: egyes, hármas, ötös, hatos, húszas, százas...
    static const char *const units[] = {"", "es", "es", "as", "es", "ös", "os", "es", "as", "es"};
    static const char *const tens[] = {"", "es", "as", "as", "es", "es", "as", "es", "as", "es"};
    const int n = qAbs(portNumber);
    const char *ending = n % 10 ? units[n % 10] : n % 100 ? tens[n / 10 % 10] : n % 1000 ? "as" : "es";
    return QStringLiteral("%1-%2 port").arg(portNumber).arg(QString::fromUtf8(ending));
}

QString thePort(int portNumber, bool capital)
{
    // "az" before a vowel: egy (1), öt (5), ötven (50-59).
    const bool vowel = portNumber == 1 || portNumber == 5 || (portNumber >= 50 && portNumber <= 59);
    const QString article = vowel ? QStringLiteral("az") : QStringLiteral("a");
    return (capital ? article.left(1).toUpper() + article.mid(1) : article) + QLatin1Char(' ')
        + portDisplayName(portNumber);
}

QString portMapProblem()
{
    const PortSwitchFault fault = portSwitchFault();
    if (!fault.faulty)
        return {};
    return QStringLiteral("A beállítások [ports] részében az auto=%1 érték nem értelmezhető (%2); "
                          "a gép saját soros portjai ki vannak kapcsolva. Használható: true/false, yes/no, on/off, 1/0.")
        .arg(fault.special ? QStringLiteral("(a beállítások különleges értéke)") : fault.value, fault.file);
}

// The notes of dumps not heard out kept elsewhere than the runtime folder: said once, at start.
static QString noteFolderNote()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString folder = dumpNoteFolder();
    if (!runtime.isEmpty() && folder.startsWith(runtime + QLatin1Char('/')))
        return {};
    if (folder.isEmpty())
        return QStringLiteral("A megkezdett kiolvasásokról nem tudok jegyzetet tartani: sem a futásidejű mappa (%1), sem a "
                              "gyorsítótár mappája nem a felhasználó sajátja.").arg(runtime);
    return QStringLiteral("A futásidejű mappa (%1) nem csak a felhasználóé, ezért a megkezdett kiolvasások jegyzetét ide "
                          "teszem: %2.").arg(runtime.isEmpty() ? QStringLiteral("nincs megadva") : runtime, folder);
}

QString settingsProblem()
{
    const QString notes = noteFolderNote();
    const QString settings = settingsTrustProblem();
    return notes.isEmpty() ? settings : settings.isEmpty() ? notes : settings + QLatin1Char('\n') + notes;
}

QString settingsTrustProblem()
{
    const UserSettings settings;
    QString why;
    switch (settings.trust()) {
    case UserSettings::Own: return portMapProblem();
    case UserSettings::NotOwn: why = QStringLiteral("nem ennek a felhasználónak a sajátja, vagy mások is írhatják"); break;
    case UserSettings::Link: why = QStringLiteral("hivatkozás (symlink) áll a helyén"); break;
    case UserSettings::NotRegular: why = QStringLiteral("nem közönséges fájl vagy mappa"); break;
    }
    return QStringLiteral("A beállításokat nem használom, mert %1 (%2): aki írhatja, az döntené el, melyik eszköz "
                          "kapja a kódokat. Így nincs porttérkép, mentett port és megtanult elrendezés, a gép soros "
                          "portjai ki vannak kapcsolva. Tegye a sajátjává, és vegye el mások írási jogát (chown, "
                          "chmod go-w), vagy törölje.")
        .arg(why, settings.untrustedPath());
}

QString noFreePort()
{
    QString text = NoFreePort;
    bool withoutPermission = false;
    for (const auto &[number, probe] : portsNotFree()) {
        if (probe.state == PortState::Held)
            text += QStringLiteral("\n%1 (%2) foglalt, használja: %3.")
                        .arg(thePort(number, true), probe.resolved, holders(probe.holders));
        withoutPermission |= probe.state == PortState::NoPermission;
    }
    if (withoutPermission)
        text += QStringLiteral("\nVan soros port a gépen, de ennek a felhasználónak nincs joga megnyitni: ")
            + dialoutAdvice();
    return text;
}

QString dialoutAdvice()
{
    return QStringLiteral("vegye fel a felhasználót a dialout csoportba (sudo usermod -aG dialout $USER), "
                          "majd jelentkezzen be újra.");
}

QString portOpenFailed(int portNumber, const QString &device, CommPort::OpenFault fault)
{
    QString reason;
    switch (fault) {
    case CommPort::OpenFault::NoDevice:
        reason = QStringLiteral("az eszköz nem található (ki van húzva a kábel?)");
        break;
    case CommPort::OpenFault::NoPermission:
        reason = QStringLiteral("nincs jogosultság a megnyitásához (a felhasználó nincs a dialout csoportban)");
        break;
    case CommPort::OpenFault::Busy:
        reason = QStringLiteral("egy másik program használja");
        break;
    case CommPort::OpenFault::Console:
        reason = QStringLiteral("ez a gép konzolja, nem a kártyaolvasó vonala");
        break;
    case CommPort::OpenFault::BadSettings:
        reason = QStringLiteral("a vonal beállítása nem sikerült");
        break;
    case CommPort::OpenFault::None:
    case CommPort::OpenFault::Other:
        reason = QStringLiteral("ismeretlen hiba");
        break;
    }
    const QString where = device.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(device);
    return QStringLiteral("%1%2 nem nyitható meg: %3.").arg(thePort(portNumber, true), where, reason);
}

QString lineLost(int portNumber, const QString &advice)
{
    return QStringLiteral("Megszakadt a kapcsolat a kártyaolvasóval (%1). %2")
        .arg(portDisplayName(portNumber), advice);
}

QString withLostLine(const QString &outcome, const QString &lostLine)
{
    return outcome + QLatin1Char('\n') + lostLine;
}

QString tooManyCards(int capacity, bool distinct)
{
    return QStringLiteral("A fájlban több %1kártyakód van, mint amennyit a kártyaolvasó tárolni tud "
                          "(legfeljebb %2 kódot).")
        .arg(distinct ? QStringLiteral("különböző ") : QString())
        .arg(capacity);
}

QString noisyLine()
{
    return QStringLiteral("A kártyaolvasó vonalán %1 másodpercen át folyamatosan jöttek a bájtok, ezért semmit sem "
                          "küldtem el. Ellenőrizze, hogy a kártyaolvasó portja van-e kiválasztva, és próbálja újra "
                          "fél perc múlva!")
        .arg(QuietLimitMs / 1000);
}

QString dumpFailed(DumpOutcome outcome, const QString &again)
{
    const QString error = again.isEmpty() ? TransferError : QStringLiteral("Hiba az átvitelben. ") + again;
    switch (outcome) {
    case DumpOutcome::Noisy: return error + QLatin1Char('\n') + noisyLine();
    case DumpOutcome::Unsteady:
        return error + QLatin1Char('\n')
            + QStringLiteral("A kártyaolvasó a memóriája után is küldött bájtokat, és az újabb kiolvasás mást adott: "
                             "egyiket sem fogadtam el.");
    default: return error;
    }
}

QString sentSoFar(int written)
{
    return written == 0 ? QStringLiteral("Semmit sem küldtem el.")
                        : QStringLiteral("Az első %1 kódot beírtam, a többit nem küldtem el.").arg(written);
}

// "in line 4" or "in 7 lines: 4, 6, 8, 10, 12 and 2 more", and the first of them.
static QString whereAndFirst(const NamedLines &lines, const QString &what)
{
    QStringList numbers;
    for (qint64 number : lines.numbers)
        numbers.append(QString::number(number));
    const QString first = QStringLiteral("(%1. sor): „%2”.").arg(numbers.value(0), shownLine(lines.first));
    if (lines.count == 1)
        return QStringLiteral("1 %1 van %2").arg(what, first);
    const qint64 unnamed = lines.count - lines.numbers.size();
    return QStringLiteral("%1 %2 van, ezekben a sorokban: %3%4. Az első %5")
        .arg(QString::number(lines.count), what, numbers.join(QStringLiteral(", ")),
             unnamed == 0 ? QString() : QStringLiteral(" és még %1 másikban").arg(unnamed), first);
}

QString malformedCardLines(const QString &path, const CodeList &list)
{
    return QStringLiteral("A kódlistafájlban%1 %2 Egy kártyasor végén tíz hexadecimális számjegy álljon "
                          "(előtte lehet BB), például: 1,200,BB0123456789.")
        .arg(fileLabel(path), whereAndFirst(list.malformed, QStringLiteral("hibás kártyasor")));
}

QString suspiciousLines(const QString &path, const CodeList &list)
{
    return QStringLiteral("A kódlistafájlban%1 %2 Ezek a sorok kártyakóddal végződnek, de nem „1”-gyel kezdődnek, "
                          "ezért a kártyaolvasó nem kapná meg őket (például ha a táblázatban egy másik oszlop áll "
                          "elöl), vagy a kód előtt nem létező napot adnak meg utolsó érvényes napként (például "
                          "2027-02-30). Tegye a sor elejére a típust, a napot pedig írja helyesen: "
                          "1,200,NÉV,2027-03-31,BB0123456789.")
        .arg(fileLabel(path), whereAndFirst(list.suspicious, QStringLiteral("gyanús sor")));
}

QString passedOverCards(const CodeList &list)
{
    if (list.suspicious.count == 0)
        return {};
    return QStringLiteral("%1 sort kihagytam, amely kártyakóddal végződik, de nem „1”-gyel kezdődik (az első: "
                          "%2. sor).")
        .arg(list.suspicious.count)
        .arg(list.suspicious.numbers.value(0));
}

QString uploadNotes(const CodeList &list, const QDate &today)
{
    const qsizetype expired = std::count_if(list.cards.cbegin(), list.cards.cend(),
                                            [&](const ListedCard &card) { return card.isExpired(today); });
    QStringList notes;
    if (const QString passedOver = passedOverCards(list); !passedOver.isEmpty())
        notes.append(passedOver);
    if (expired > 0)
        notes.append(QStringLiteral("%1 lejárt kártyát is beírtam: a rátöltés a lista minden kártyáját beírja, a "
                                    "lejártakat a szinkronizálás veszi ki.")
                         .arg(expired));
    return notes.join(QLatin1Char(' '));
}

QString codeListUnreadable(const QString &path, FileFault fault)
{
    return QStringLiteral("A kódlistafájl%1 nem olvasható: %2.").arg(fileLabel(path), fileFaultReason(fault));
}

QString codeListUnwritable(const QString &path, FileFault fault, bool newFile)
{
    return QStringLiteral("A kódlistafájlba%1 nem sikerült írni: %2. %3")
        .arg(fileLabel(path), fileFaultReason(fault), fileLeftAlone(newFile));
}

QString fileLeftAlone(bool newFile)
{
    return newFile ? QStringLiteral("A fájl nem jött létre.") : QStringLiteral("A fájl változatlan maradt.");
}

QString nothingWasWritten()
{
    return QStringLiteral("Semmit sem írtam a kártyaolvasóba.");
}


QString noOpeningTime()
{
    return QStringLiteral("A nyitási idő 1 és 127 közötti szám lehet: más idővel a kártyaolvasó a rekordot nem "
                          "kártyának olvasná.");
}

QString unknownOption(const QString &option)
{
    return QStringLiteral("ismeretlen kapcsoló: %1").arg(option);
}

QString noCards(const QString &path)
{
    return QStringLiteral("A fájlban (%1) nincs kártyakód.").arg(path);
}


QString listProblem(const QString &path, const CodeList &list, ListProblem problem, ListUse use)
{
    const bool sends = use != ListUse::Verify;
    QString text;
    switch (problem) {
    case ListProblem::None: return {};
    case ListProblem::Unreadable: text = codeListUnreadable(path, list.fault); break;
    case ListProblem::Malformed: text = malformedCardLines(path, list); break;
    case ListProblem::Suspicious: text = suspiciousLines(path, list); break;
    case ListProblem::TooManyCards: text = tooManyCards(ReaderCapacity, use != ListUse::Upload); break;
    case ListProblem::NoCards: text = noCards(path); break;
    case ListProblem::NoOpeningTime: text = noOpeningTime(); break;
    case ListProblem::AllExpired:
        text = QStringLiteral("A lista minden kártyája lejárt (%1): a szinkronizálás kiürítené a kártyaolvasót.").arg(path);
        break;
    }
    return sends ? text + QLatin1Char(' ') + sentSoFar(0) : text;
}


QString cardLine(const CardCode &code, const QString &name)
{
    return name.isEmpty() ? QStringLiteral("  ") + hexCode(code) : QStringLiteral("  %1  %2").arg(hexCode(code), name);
}


QString differences(const Comparison &comparison, const CodeList *list)
{
    const auto [expired, extra] = splitExpired(comparison.extra, list);
    return section(QStringLiteral("Hiányzik a kártyaolvasóból (%1):"), comparison.missing, list)
        + section(QStringLiteral("Többlet a kártyaolvasóban, nincs a fájlban (%1):"), extra, list)
        + (expired.isEmpty() ? QString() : expiredStillHeld(expired, *list))
        + timeSection(QStringLiteral("Más nyitási idővel (%1):"), QStringLiteral("%1  %2 (kért: %3)"),
                      comparison.otherTime, list);
}

QString checkResult(const VerifyResult &result, const CodeList &list, bool summary)
{
    const Comparison &compared = result.comparison;
    if (!summary)
        return compared.identical()
            ? QStringLiteral("Egyezik: a kártyaolvasó kódjai azonosak a fájl %1 kódjával.\n").arg(result.listed.size())
            : differences(compared, &list);
    const int held = compared.same + int(compared.otherTime.size()), missing = int(compared.missing.size());
    const int extra = int(compared.extra.size() - result.expiredHeld.size());
    QString text = missing == 0 && extra == 0
        ? QStringLiteral("A kártyaolvasó pontosan a lista %1 kártyáját tartalmazza.").arg(held)
        : QStringLiteral("A kártyaolvasóban a lista %1 kártyája van; %2 hiányzik belőle, és %3 olyan kártyát tart, "
                         "amely nincs a listán.")
              .arg(held)
              .arg(missing)
              .arg(extra);
    if (!result.expiredHeld.isEmpty())
        text += QLatin1Char('\n') + expiredStillHeld(result.expiredHeld, list).trimmed();
    return text;
}

QString expiredStillHeld(const QList<DumpRecord> &records, const CodeList &list)
{
    return expiredSection(QStringLiteral("Lejárt, de még a kártyaolvasóban van (%1):"), records, &list);
}


QString accepted(int written, bool lastUncertain)
{
    if (lastUncertain)
        return QStringLiteral("A kártyaolvasó %1 kódot biztosan elfogadott, %2 kódot talán.").arg(written).arg(theNth(written + 1));
    return QStringLiteral("A kártyaolvasó %1 kódot fogadott el.").arg(written);
}


QString recordFailed(bool refused, const DumpRecord &record, qint64 line, const QString &name)
{
    const QString card = theCode(record.code) + (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
    const QString where = line > 0 ? QStringLiteral(", a lista %1. sora").arg(line) : QString();
    return refused ? QStringLiteral("A kártyaolvasó visszautasította %1 kódot%2.").arg(card, where)
                   : QStringLiteral("A kártyaolvasó nem válaszolt %1 kódra%2 (%3 másodpercig vártam).")
                         .arg(card, where)
                         .arg(RecordAnswerLimitMs / 1000);
}


QString reasonWord(SnapshotReason reason)
{
    switch (reason) {
    case SnapshotReason::Snapshot: break;
    case SnapshotReason::BeforeSync: return QStringLiteral("szinkron előtt");
    case SnapshotReason::AfterSync: return QStringLiteral("szinkron után");
    case SnapshotReason::BeforeRestore: return QStringLiteral("visszaállítás előtt");
    case SnapshotReason::AfterRestore: return QStringLiteral("visszaállítás után");
    }
    return QStringLiteral("pillanatkép");
}


QString snapshotUnusable(const QString &path, FileFault fault)
{
    return QStringLiteral("A pillanatkép (%1) nem használható: %2.").arg(path, fileFaultReason(fault));
}


QString snapshotUnfit(const QString &path, ListProblem problem)
{
    const QString why = problem == ListProblem::NoCards
        ? QStringLiteral("A pillanatképben (%1) nincs egyetlen kártya sem: a visszaállítás kiürítené a kártyaolvasót.")
              .arg(path)
        : problem == ListProblem::TooManyCards ? tooManyCards(ReaderCapacity, true)
                                               : snapshotUnusable(path, FileFault::NotASnapshot);
    return why + QLatin1Char(' ') + sentSoFar(0);
}


QString workEstimate(const SyncPlan &plan)
{
    return QStringLiteral("(%1 rekord, kb. %2 perc)").arg(plan.writes.size()).arg(minutes(planSeconds(plan)));
}

QString layoutNote(const SyncPlan &plan)
{
    if (plan.byLayout)
        return QStringLiteral("A kártyaolvasó memóriájának elrendezését már megtanultam: csak a változó helyeket írom "
                              "(%1 rekord), és a listán lévő kártyát közben sem veszem ki.\n")
            .arg(plan.writes.size());
    return QStringLiteral("A kártyaolvasó memóriájának elrendezését még nem ismerem: mind az %1 helyet újraírom, "
                          "előbb a megmaradó kártyákat, ahogy most a memóriában állnak. Az ellenőrző kiolvasásból "
                          "megtanulom az elrendezést, és a következő szinkron már csak a változó helyeket írja.\n")
        .arg(ReaderCapacity);
}


QString outForAWhile(const SyncPlan &plan)
{
    if (plan.outForAWhile == 0)
        return {};
    return QStringLiteral("Nincs szabad hely, amelyen át a kártyákat a helyükre tehetném: ha a munka közben "
                          "megáll, legfeljebb %1 kártya hiányozhat a kártyaolvasóból, amíg újra nem indítja.\n")
        .arg(plan.outForAWhile);
}

QString planText(const SyncPlan &plan, int repeated, const CodeList *list, bool restore)
{
    const Comparison &c = plan.comparison;
    const auto [expired, extra] = splitExpired(c.extra, restore ? nullptr : list);
    QString text = QStringLiteral("Terv, kód szerint:\n")
        + section(QStringLiteral("Felveendő, a kártyaolvasóban még nincs (%1):"), c.missing, list)
        + section(restore ? QStringLiteral("Törlendő, nincs a pillanatképben (%1):")
                          : QStringLiteral("Törlendő, nincs a listában (%1):"),
                  extra, list)
        + expiredSection(QStringLiteral("Lejárt, kikerül a kártyaolvasóból (%1):"), expired, list)
        + timeSection(QStringLiteral("Más nyitási időt kap (%1):"), QStringLiteral("%1  %2 -> %3"), c.otherTime, list);
    text += QStringLiteral("Változatlan marad: %1 kártya.\n").arg(c.same);
    text += section(QStringLiteral("Nem törölhető: a kártyaolvasó olyan helyen tartja, amelyet egyik írási cím sem "
                                   "ér el (%1):"),
                    plan.unreachable, list);
    if (repeated > 0 && restore && plan.byLayout)
        text += QStringLiteral("%1 kód többször is szerepel a pillanatképben; mindegyik minden helyére visszakerül.\n")
                    .arg(repeated);
    else if (repeated > 0)
        text += QStringLiteral("%1 kód többször is szerepel %2; mindegyik csak egyszer kerül be.\n")
                    .arg(repeated)
                    .arg(restore ? QStringLiteral("a pillanatképben") : QStringLiteral("a listában"));
    return text + outForAWhile(plan) + layoutNote(plan);
}


QString replanned(const SyncPlan &plan, bool learned)
{
    if (learned)
        return QStringLiteral("A kártyaolvasó nem fogadja el az üres rekordot, de most megtanultam, hová teszi a "
                              "rekordokat: a törlendő kártyák helyére a lista egy kártyájának másolatát írom "
                              "(%1 rekord, kb. %2 perc).")
            .arg(plan.writes.size())
            .arg(minutes(planSeconds(plan)));
    return QStringLiteral("A kártyaolvasó nem oda tette a rekordokat, ahová a megtanult elrendezés szerint kellett "
                          "volna: elfelejtettem az elrendezést, és most mind az %1 helyet újraírom (kb. %2 perc).")
        .arg(plan.writes.size())
        .arg(minutes(planSeconds(plan)));
}


QString syncDone(int cards, bool restore)
{
    return QStringLiteral("Kész: a kártyaolvasó pontosan %1 %2 kártyáját tartalmazza.")
        .arg(restore ? QStringLiteral("a pillanatkép") : QStringLiteral("a lista"))
        .arg(cards);
}


QString nothingToChange(bool restore)
{
    return QStringLiteral("Nincs mit változtatni: a kártyaolvasó pontosan %1 kártyáit tartalmazza. %2 "
                          "Pillanatkép sem készült.")
        .arg(restore ? QStringLiteral("a pillanatkép") : QStringLiteral("a lista"), nothingWasWritten());
}


QString copiesKept(int copies)
{
    return QStringLiteral("A kártyaolvasó nem fogadja el az üres rekordot: %1 helyre, ahonnan kártya került ki, "
                          "a lista egy kártyájának másolatát írtam.")
        .arg(copies);
}


QString afterSnapshotLost(FileFault fault)
{
    return QStringLiteral("Az ellenőrző kiolvasás pillanatképe nem menthető (%1): %2. Az összevetés ettől még "
                          "megtörtént.")
        .arg(snapshotFolder(), fileFaultReason(fault));
}


QString stillDiffers(bool restore, const QString &before, const QString &after, int unreachable)
{
    QString text = QStringLiteral("A kártyaolvasó nem pontosan %1 kártyáit tartalmazza. Pillanatkép előtte: %2")
                       .arg(restore ? QStringLiteral("a pillanatkép") : QStringLiteral("a lista"), before);
    if (!after.isEmpty())
        text += QStringLiteral(", utána: %1").arg(after);
    if (unreachable > 0)
        text += QStringLiteral("\n%1 kártyát a kártyaolvasó olyan helyen tart, amelyet egyik írás sem ér el: ezek "
                               "ezzel a programmal nem törölhetők.")
                    .arg(unreachable);
    return text;
}


QString stopReportText(const StopReport &report, const CodeList *list)
{
    QString text = section(QStringLiteral("A listán vannak, és hiányozhatnak a kártyaolvasóból (%1):"),
                           report.mayBeMissing, list)
        + section(QStringLiteral("Újak, még nincsenek (biztosan) a kártyaolvasóban (%1):"), report.notYetIn, list)
        + section(QStringLiteral("Törlendők, és még a kártyaolvasóban lehetnek (%1):"), report.mayRemain, list);
    if (report.mayBeMissing.isEmpty() && report.notYetIn.isEmpty() && report.mayRemain.isEmpty())
        text += QStringLiteral("A lista minden kártyája a kártyaolvasóban van.\n");
    else if (report.mayBeMissing.isEmpty())
        text += QStringLiteral("A kártyaolvasóban lévő, listán szereplő kártyák egyike sem került ki.\n");
    return text;
}


QString eraseRefused(bool restore, int cards)
{
    return QStringLiteral("%1 kártyái mind bekerültek (%2), de a kártyaolvasó nem fogadta el az üres rekordot, "
                          "amellyel a régi kártyák helyét törölném, ezért abbahagytam.")
        .arg(capitalized(restore ? QStringLiteral("a pillanatkép") : QStringLiteral("a lista")))
        .arg(cards);
}


QString howFar(int cardsWritten, int slotsErased, bool lastUncertain)
{
    return QStringLiteral("%1 kártyát írtam be, %2 helyet töröltem%3.")
        .arg(cardsWritten)
        .arg(slotsErased)
        .arg(lastUncertain ? QStringLiteral(", és az utolsó elküldött rekordról nem tudni, hogy bekerült-e")
                           : QString());
}

QString snapshotNotKept(const QString &where, FileFault fault)
{
    return QStringLiteral("A pillanatkép nem menthető (%1): %2.").arg(where, fileFaultReason(fault));
}

QString whatSyncLeft(const SyncResult &result, const CodeList *list, const QString &advice)
{
    if (!result.written() && !result.lastUncertain)
        return nothingWasWritten();
    return howFar(result.cardsWritten, result.slotsErased, result.lastUncertain) + QLatin1Char('\n')
        + stopReportText(stopReport(result.plan, result.acknowledged), list) + advice;
}

QString afterSnapshotNote(const SyncResult &result)
{
    return result.afterFault != FileFault::None && result.dumpOutcome == DumpOutcome::Done
        ? afterSnapshotLost(result.afterFault) : QString();
}

QString stopped()
{
    return QStringLiteral("Megszakítva.");
}

QString dryRunDone()
{
    return QStringLiteral("Próba: semmit sem írtam, pillanatkép sem készült.");
}

QString readFailed(DumpOutcome outcome, int portNumber, const QString &again)
{
    switch (outcome) {
    case DumpOutcome::LineLost: return withLostLine(TransferError, lineLost(portNumber));
    case DumpOutcome::NoPort: return lineLost(portNumber);
    case DumpOutcome::Interrupted: return stopped();
    default: return dumpFailed(outcome, again);
    }
}

QString uploadOutcome(const UploadResult &result, const CodeList &list, const QDate &today, const TransferWording &wording)
{
    const QString accepted = wording.counts ? QLatin1Char(' ') + Texts::accepted(result.written, result.lastUncertain) : QString();
    switch (result.outcome) {
    case UploadResult::Done: {
        const QString notes = uploadNotes(list, today);
        const QString done = wording.counts ? UploadDone + accepted : UploadDone;
        return notes.isEmpty() ? done : done + (wording.counts ? QLatin1Char(' ') : QLatin1Char('\n')) + notes;
    }
    case UploadResult::Refused:
    case UploadResult::Unanswered:
        return wording.counts ? WriteFailed + QLatin1Char(' ')
                + recordFailed(result.outcome == UploadResult::Refused, result.failed, result.failedLine,
                               list.nameOf(result.failed.code))
                + accepted
                              : WriteFailed;
    case UploadResult::LineLost: return withLostLine(WriteFailed, wording.lostLine) + accepted;
    case UploadResult::NoPort: return wording.noPort;
    case UploadResult::Noisy: return noisyLine();
    case UploadResult::FileFailed:
        if (!wording.counts)
            return codeListUnreadable(wording.file, list.fault);
        [[fallthrough]];
    case UploadResult::Malformed:
    case UploadResult::TooManyCards:
        return listProblem(wording.file, list, ::listProblem(list, ListUse::Upload, ReaderCapacity), ListUse::Upload);
    case UploadResult::NoOpeningTime: return wording.noOpeningTime;
    case UploadResult::Interrupted: break;
    }
    return wording.counts ? stopped() + accepted : QString();
}

QString readoutOutcome(const ReadoutResult &result, const TransferWording &wording)
{
    if (result.fileFault != FileFault::None)
        return codeListUnwritable(wording.file, result.fileFault, result.newFile);
    switch (result.dump) {
    case DumpOutcome::Done:
        return wording.counts ? QStringLiteral("A kódmemória kiolvasása kész: %1 kódot írtam a fájl végére: %2")
                                    .arg(result.records)
                                    .arg(wording.file)
                              : ReadoutDone;
    case DumpOutcome::LineLost: return withLostLine(TransferError, wording.lostLine)
            + (wording.counts ? QLatin1Char(' ') + fileLeftAlone(result.newFile) : QString());
    case DumpOutcome::NoPort: return wording.noPort + (wording.counts ? QLatin1Char(' ') + fileLeftAlone(result.newFile) : QString());
    case DumpOutcome::Interrupted:
        return wording.counts ? stopped() + QLatin1Char(' ') + fileLeftAlone(result.newFile) : QString();
    default: return dumpFailed(result.dump) + (wording.counts ? QLatin1Char(' ') + fileLeftAlone(result.newFile) : QString());
    }
}

QString doorState(const DoorStanding &standing)
{
    switch (standing.holds) {
    case DoorStanding::Unknown: return QStringLiteral("félbeszakadt munka óta ismeretlen");
    case DoorStanding::NoList: return QStringLiteral("visszaállított pillanatképet tart, nem listát");
    case DoorStanding::OtherList: return QStringLiteral("másik lista");
    case DoorStanding::ListMissing: return QStringLiteral("a lista nincs meg");
    case DoorStanding::OlderList: return QStringLiteral("régebbi lista");
    case DoorStanding::TheList: break;
    }
    if (standing.stillOpen.isEmpty())
        return QStringLiteral("a lista szerint");
    QStringList names;
    for (const ListedCard &card : standing.stillOpen)
        names.append(card.name.isEmpty() ? hexCode(card.code) : card.name);
    return QStringLiteral("szinkronizálni kell: a szinkronizálása óta lejárt, de még nyitja: %1").arg(names.join(QStringLiteral(", ")));
}

QString badDoorName()
{
    return QStringLiteral("Az ajtó neve nem lehet üres, legfeljebb %1 karakter, és nem tartalmazhat vezérlőkaraktert "
                          "vagy / jelet.").arg(DoorNameMax);
}

static QString anotherDoorsReader(const QString &recognised, const QString &chosen)
{
    return QStringLiteral("A vonalon a(z) „%1” kártyaolvasója van (pontosan azt tartja, amit ott hagytam), nem a(z) "
                          "„%2” ajtóé.")
        .arg(recognised, chosen);
}

QString goOnAsDoorQuestion(const QString &recognised, const QString &chosen)
{
    return anotherDoorsReader(recognised, chosen) + QStringLiteral(" Folytassam a(z) „%1” ajtóként?").arg(recognised);
}

QString changedReader(const QString &door)
{
    return QStringLiteral("Ez nem az a kártyaolvasó, amelyet „%1”-ként ismerek: a memóriája nem az, amelyben legutóbb "
                          "hagytam, és más ismert ajtóé sem (más program írt bele, vagy másik kártyaolvasó).")
        .arg(door);
}

QString isDoorsReaderQuestion(const QString &door)
{
    return changedReader(door) + QStringLiteral(" Ez most a(z) „%1” kártyaolvasója? (Igen: újra megismerem ezen a néven.)").arg(door);
}

QString otherDoor(const QString &recognised, const QString &chosen, const QString &advice)
{
    return anotherDoorsReader(recognised, chosen) + QLatin1Char(' ') + nothingWasWritten() + QLatin1Char(' ')
        + (advice.isEmpty() ? QStringLiteral("Ha valóban ez a(z) „%1”, azt az ajtót válassza.").arg(recognised) : advice);
}

namespace {
SyncOutcomeText outcomeWords(const SyncResult &result, const CodeList *list, const SyncWording &wording);
} // namespace

// Every outcome names the door it was at, when it has a name (those about another door's reader
// name both already).
SyncOutcomeText syncOutcome(const SyncResult &result, const CodeList *list, const SyncWording &wording)
{
    SyncOutcomeText text = outcomeWords(result, list, wording);
    const QString door = result.reader.now.door.isEmpty() ? wording.door : result.reader.now.door;
    if (!door.isEmpty() && !text.said.isEmpty() && result.outcome != SyncResult::OtherDoor
        && result.outcome != SyncResult::ChangedReader)
        text.said = QStringLiteral("„%1”: %2").arg(door, text.said);
    return text;
}

namespace {

SyncOutcomeText outcomeWords(const SyncResult &result, const CodeList *list, const SyncWording &wording)
{
    const bool restore = wording.restore;
    const QString left = whatSyncLeft(result, list, wording.finish);
    const QString lostAfter = afterSnapshotNote(result);
    const auto then = [](const QString &first, const QString &second) {
        return second.isEmpty() ? first : first + QLatin1Char('\n') + second;
    };
    switch (result.outcome) {
    case SyncResult::Done:
        return {then(then(syncDone(result.readBack.same, restore),
                          result.plan.copies() > 0 ? copiesKept(result.plan.copies()) : QString()),
                     lostAfter), {}};
    case SyncResult::NothingToChange: return {nothingToChange(restore), {}};
    case SyncResult::Planned: return {dryRunDone(), {}};
    case SyncResult::NotApproved: return {nothingWasWritten(), {}};
    case SyncResult::Refused:
        return {restore ? snapshotUnfit(wording.file, result.problem)
                                 : listProblem(wording.file, *list, result.problem, ListUse::Sync),
                {}};
    case SyncResult::SnapshotFailed:
        return {snapshotNotKept(snapshotFolder(), result.fileFault) + QLatin1Char(' ') + nothingWasWritten(), {}};
    case SyncResult::DumpFailed:
        return {then(readFailed(result.dumpOutcome, wording.portNumber, wording.retry), left), {}};
    case SyncResult::WriteRefused:
    case SyncResult::WriteUnanswered: {
        const DumpRecord failed = result.plan.writes.value(result.acknowledged).record;
        const ListedCard *card = list ? list->cardOf(failed.code) : nullptr;
        return {then(WriteFailed + QLatin1Char(' ')
                         + recordFailed(result.outcome == SyncResult::WriteRefused, failed,
                                        card && wording.listLines ? card->line : 0, card ? card->name : QString()),
                     left),
                {}};
    }
    case SyncResult::EraseRefused:
        return {eraseRefused(restore, result.cardsWritten) + QLatin1Char(' ')
                    + howFar(result.cardsWritten, result.slotsErased, result.lastUncertain),
                result.readBack.extra.isEmpty() && result.readBack.missing.isEmpty() ? QString()
                                                                               : differences(result.readBack, list)};
    case SyncResult::LineLost:
        return {then(withLostLine(WriteFailed, lineLost(wording.portNumber)), left), {}};
    case SyncResult::Interrupted:
        if (result.allWritten)
            return {QStringLiteral("Megszakítva az ellenőrző kiolvasás közben: minden rekordot beírtam, csak az "
                                   "ellenőrzés maradt el. ")
                        + wording.seeReader,
                    {}};
        return {stopped() + QLatin1Char(' ') + left, {}};
    case SyncResult::OtherDoor:
        return {otherDoor(result.otherDoor, wording.door, wording.otherDoorAdvice), {}};
    case SyncResult::ChangedReader:
        return {changedReader(wording.door) + QLatin1Char(' ') + nothingWasWritten() + QLatin1Char(' ') + wording.newReader, {}};
    case SyncResult::Differs:
        return {then(stillDiffers(restore, result.beforeSnapshot, result.afterSnapshot, int(result.plan.unreachable.size())),
                     lostAfter),
                differences(result.readBack, list)};
    }
    return {};
}

} // namespace

} // namespace Texts
