#include "cards/texts.h"
#include "transfer/conversation.h"

#include <QFileInfo>

namespace Texts {

QString heldWith(int openingTime)
{
    return QStringLiteral("benne van (%1)").arg(openingTime);
}

QString expiredHeld(int openingTime)
{
    return QStringLiteral("lejárt, még benne van (%1)").arg(openingTime);
}

QString notHeld()
{
    return QStringLiteral("nincs benne");
}

QString onlyInReader(int openingTime)
{
    return QStringLiteral("csak a kártyaolvasóban (%1)").arg(openingTime);
}

QString cardCount(int cards, int held, bool checked)
{
    const QString count = QStringLiteral("%1 kártya a listán").arg(cards);
    return checked ? count + QStringLiteral(", ebből %1 a kártyaolvasóban").arg(held) : count;
}

QString stateAsOf(const QDateTime &checked)
{
    return QStringLiteral("%1 (%2)").arg(StateColumn, checked.toLocalTime().toString(QStringLiteral("HH:mm")));
}

QString lastDayCell(const QDate &day, bool expired)
{
    const QString text = day.toString(Qt::ISODate);
    return expired ? text + QStringLiteral(" (lejárt)") : text;
}

QString notADay()
{
    return QStringLiteral("Az utolsó nap így írandó: 2027-03-31 (év-hónap-nap), és létező nap legyen; üresen a kártya "
                          "nem jár le.");
}

QString expiryNotes(const CodeList &list, const QDate &today, const QDateTime &lastSync)
{
    constexpr int SoonDays = 14, Named = 5;
    QStringList expired, soon;
    const QDate since = lastSync.isValid() ? lastSync.toLocalTime().date() : QDate();
    for (const ListedCard &card : list.expired(today)) {
        if (!since.isValid() || card.lastDay >= since)
            expired.append(card.name.isEmpty() ? hexCode(card.code) : card.name);
    }
    for (const ListedCard &card : list.cards) {
        if (card.lastDay.isValid() && card.lastDay >= today && card.lastDay < today.addDays(SoonDays))
            soon.append(QStringLiteral("%1 (%2)").arg(card.name.isEmpty() ? hexCode(card.code) : card.name,
                                                      card.lastDay.toString(Qt::ISODate)));
    }
    const auto named = [](const QStringList &names) {
        return names.mid(0, Named).join(QStringLiteral(", "))
            + (names.size() > Named ? QStringLiteral(" és még %1").arg(names.size() - Named) : QString());
    };
    QStringList lines;
    if (!expired.isEmpty() && since.isValid())
        lines.append(QStringLiteral("%1 kártya lejárt az utolsó szinkronizálás óta, de még a kártyaolvasóban lehet: "
                                    "a következő szinkronizálás kiveszi (%2).")
                         .arg(expired.size())
                         .arg(named(expired)));
    else if (!expired.isEmpty())   // a list never synced: no reader has it yet
        lines.append(QStringLiteral("%1 kártya lejárt (%2): szinkronizáláskor nem kerül a kártyaolvasóba.")
                         .arg(expired.size())
                         .arg(named(expired)));
    if (!soon.isEmpty())
        lines.append(QStringLiteral("%1 kártya lejár a következő %2 napban: %3.").arg(soon.size()).arg(SoonDays).arg(named(soon)));
    return lines.join(QLatin1Char('\n'));
}

QString doorsNote(const QList<Door> &doors, const QString &listPath, const QByteArray &listHash, const CodeList &list,
                  const QDate &today)
{
    QStringList parts;
    for (const Door &door : doors) {
        const DoorStanding standing = doorStanding(door, listPath, listHash, &list, today);
        QString state = doorState(standing);
        if (standing.holds == DoorStanding::TheList && standing.stillOpen.isEmpty())   // since when
            state += door.synced.toLocalTime().toString(QStringLiteral(", MM-dd HH:mm"));
        parts.append(QStringLiteral("%1: %2").arg(door.name, state));
    }
    return parts.isEmpty() ? QString() : QStringLiteral("Ajtók: ") + parts.join(QStringLiteral("; ")) + QLatin1Char('.');
}

QString windowTitle(const QString &path, bool modified)
{
    const QString name = path.isEmpty() ? QStringLiteral("új lista") : QFileInfo(path).fileName();
    return QStringLiteral("%1%2 – %3").arg(name, modified ? QStringLiteral(" *") : QString(), CardsTitle);
}

QString saveBeforeSync()
{
    return QStringLiteral("A lista módosult. A kártyaolvasó azt kapja, ami a fájlban van: mentsem előbb a módosításokat?");
}

QString saveBeforeClosing()
{
    return QStringLiteral("A lista módosult. Menti a módosításokat?");
}

QString deleteQuestion(int cards)
{
    return QStringLiteral("Törli a kijelölt %1 kártyát a listáról? (A kártyaolvasóból a következő szinkronizálás "
                          "veszi ki.)")
        .arg(cards);
}

QString setOpeningTimeFirst()
{
    return QStringLiteral("Állítsa be a nyitási időt (1–127), majd nyomja meg újra a gombot!");
}

QString noPortChosen()
{
    return QStringLiteral("Nincs kiválasztott port. Dugja be a kábelt, és válassza ki a kártyaolvasó portját!");
}

QString readOnlyList(const QString &path, const CodeList &list)
{
    return malformedCardLines(path, list)
        + QStringLiteral("\nA listát csak megnézni lehet: javítsa ki ezeket a sorokat egy szövegszerkesztőben.");
}

QString codeAlreadyListed(const CardCode &code, qint64 line, const QString &name)
{
    return QStringLiteral("%1 kód már a listán van, a fájl %2 sorában%3.")
        .arg(capitalized(theCode(code)), theNth(line),
             name.isEmpty() ? QString() : QStringLiteral(" (%1 kártyája)").arg(name));
}

QString notACode()
{
    return QStringLiteral("A kód tíz hexadecimális számjegy (0–9, A–F), előtte lehet BB, például: BB0123456789.");
}

QString listUnsaved(const QString &path, FileFault fault, const QString &keptCopy)
{
    QString text = QStringLiteral("A lista nem menthető (%1): %2.").arg(path, fileFaultReason(fault));
    if (fault == FileFault::WriteProtected || fault == FileFault::Replaced)
        text += QStringLiteral(" A fájlt nem írom felül; a Mentés másként… a listát másik fájlba menti.");
    if (!keptCopy.isEmpty())
        text += QStringLiteral(" A fájl régi tartalma ebben a másolatban maradt meg: %1").arg(keptCopy);
    return text;
}

QString listOnLink(const QString &path, const QString &target)
{
    return QStringLiteral("A lista nem menthető ide: %1. Ez a név hivatkozás (symlink), amely ide vezet: %2; "
                          "hivatkozáson át nem írok, hogy a lista ne kerülhessen más fájl helyére. Válasszon másik nevet.")
        .arg(path, target.isEmpty() ? QStringLiteral("(sehová)") : target);
}

QString othersFile(const QString &path, const QString &owner)
{
    return QStringLiteral("Ez a fájl nem az Öné, hanem „%1” felhasználóé: %2. Valóban ezt írjam felül a listával? "
                          "(Ő is látja és módosíthatja.)")
        .arg(owner, path);
}

QString listMissing(const QString &path)
{
    return QStringLiteral("Nincs ilyen kódlistafájl: %1\nKezdjek ezen a néven új, üres listát (az első mentéskor "
                          "jön létre), vagy választ egy másik fájlt?")
        .arg(path);
}

QString changedOnDisk(const QString &path, bool gone)
{
    if (gone)
        return QStringLiteral("A lista fájlja (%1) eltűnt, mióta megnyitottam. Mentsem újra ezen a néven, vagy másik "
                              "fájlba?")
            .arg(path);
    return QStringLiteral("A lista fájlja (%1) megváltozott, mióta megnyitottam: egy másik program vagy felhasználó "
                          "írt bele.\nÚjratöltés: a fájl mostani tartalma jelenik meg, az itt tett módosítások "
                          "elvesznek.\nMentés másként…: a módosítások másik fájlba kerülnek, ez a fájl marad, ahogy "
                          "van.\nFelülírás: a fájlba az kerül, ami itt látszik, és ami közben került bele, elvész.")
        .arg(path);
}

QString nameLeadsElsewhere(const QString &path)
{
    return QStringLiteral("A lista neve (%1) már egy másik fájlra mutat, mint amelyet megnyitottam (hivatkozás vagy "
                          "másik fájl került a helyére). Azt nem írom felül. Mentse a listát másik fájlba, vagy "
                          "töltse be újra a név mögötti fájlt.")
        .arg(path);
}

QString reloadedBeforeSync(const QString &path)
{
    return QStringLiteral("A lista fájlja (%1) megváltozott, mióta megnyitottam, ezért újra beolvastam. Nézze át, "
                          "majd nyomja meg újra a Szinkronizálás gombot.")
        .arg(path);
}

QString unsavedEditsFound(const QString &path, const QDateTime &kept)
{
    return QStringLiteral("A listának (%1) el nem mentett módosításai maradtak egy korábbi futásból (%2, a munkamenet "
                          "végén). Visszaveszi őket? Mentésig a fájl nem változik.")
        .arg(path.isEmpty() ? QStringLiteral("új lista") : path,
             kept.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

QString listWarning(const CodeList &list)
{
    switch (listProblem(list, ListUse::Sync, ReaderCapacity)) {
    case ListProblem::Suspicious:
        return QStringLiteral("Figyelem: %1 gyanús sor van a listában (az első: %2 sor): kártyakóddal végződik, de nem "
                              "„1”-gyel kezdődik, vagy nem létező napot ad meg lejáratként. Amíg ki nem javítja, a "
                              "szinkronizálás nem fogadja el a listát.")
            .arg(list.suspicious.count)
            .arg(theNth(list.suspicious.numbers.value(0)));
    case ListProblem::TooManyCards:
        return QStringLiteral("Figyelem: %1 A szinkronizálás nem fogadja el a listát.")
            .arg(tooManyCards(ReaderCapacity, true));
    default: return {};
    }
}

namespace {

// What a sync or restore is about to do, in counts, and the first cards it takes out by name.
QString planSummary(const SyncPlan &plan, const CodeList &names)
{
    constexpr int Named = 10;
    const Comparison &c = plan.comparison;
    QString text = QStringLiteral("Bekerül: %1 kártya.\nKikerül: %2 kártya").arg(c.missing.size()).arg(c.extra.size());
    if (!c.extra.isEmpty()) {
        text += QLatin1Char(':');
        for (qsizetype i = 0; i < qMin<qsizetype>(Named, c.extra.size()); ++i)
            text += QLatin1Char('\n') + cardLine(c.extra[i].code, names.nameOf(c.extra[i].code));
        if (c.extra.size() > Named)
            text += QStringLiteral("\n  … és még %1 (a részletek között)").arg(c.extra.size() - Named);
    } else {
        text += QLatin1Char('.');
    }
    const QString warning = outForAWhile(plan).trimmed();
    return text + QStringLiteral("\nMás nyitási időt kap: %1 kártya.\nVáltozatlan marad: %2 kártya.\n%3")
                      .arg(c.otherTime.size())
                      .arg(c.same)
                      .arg(workEstimate(plan))
        + (warning.isEmpty() ? QString() : QLatin1Char('\n') + warning);
}

} // namespace

QString syncQuestion(const SyncPlan &plan, const CodeList &list)
{
    return QStringLiteral("Beírjam a változásokat a kártyaolvasóba?\n") + planSummary(plan, list);
}

QString restoreQuestion(const QDateTime &taken, const SyncPlan &plan, const CodeList &names, const QDate &today)
{
    QString expired;
    int count = 0;
    for (const DumpRecord &record : plan.comparison.missing) {
        const ListedCard *day = names.dayLineOf(record.code);
        if (day && day->isExpired(today) && ++count <= 10)
            expired += QLatin1Char('\n') + cardLine(record.code, names.nameOf(record.code))
                + QStringLiteral(" (utolsó nap: %1)").arg(day->lastDay.toString(Qt::ISODate));
    }
    return QStringLiteral("Visszaállítsam a kártyaolvasót a %1-kor készült pillanatképre?\n")
               .arg(taken.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        + planSummary(plan, names)
        + (count == 0 ? QString()
                      : QStringLiteral("\nA lista szerint már lejárt, mégis visszakerül (%1):").arg(count) + expired);
}

QString stopAdviceInWindow(bool restore)
{
    return restore ? QStringLiteral("A visszaállítás újra elindítva befejezi a munkát.")
                   : QStringLiteral("A Szinkronizálás gomb újra megnyomva befejezi a munkát; a változtatás előtti "
                                    "állapot a Pillanatképek között van.");
}

QString phaseText(int phase, int done, int total)
{
    switch (ProgressView::Phase(phase)) {
    case ProgressView::Phase::Reading:
        return QStringLiteral("A kártyaolvasó memóriájának olvasása (kb. %1 másodperc)…").arg(DumpWholeSeconds);
    case ProgressView::Phase::Writing: return QStringLiteral("Írás: %1 / %2 rekord").arg(done).arg(total);
    case ProgressView::Phase::Erasing: return QStringLiteral("Törlés: %1 / %2 rekord").arg(done).arg(total);
    case ProgressView::Phase::Checking: break;
    }
    return QStringLiteral("Ellenőrzés: a memória újraolvasása (kb. %1 másodperc)…").arg(DumpWholeSeconds);
}

QString savedAsList(int cards, const QString &path)
{
    return QStringLiteral("A pillanatkép %1 kártyáját új kódlistaként mentettem: %2").arg(cards).arg(path);
}

QString snapshotRow(const SnapshotInfo &info)
{
    return info.foreign ? QStringLiteral("idegen – nem használható") : reasonWord(info.reason);
}

} // namespace Texts
