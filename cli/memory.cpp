// The commands that change the reader's whole memory, and the snapshots that
// keep a way back: sync, restore, snapshot, snapshots.
#include "cli/commands.h"
#include "cli/support.h"
#include "transfer/messages.h"
#include "transfer/sync.h"
#include "transfer/upload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <unistd.h>

namespace {

// What a whole sync takes at 9600 baud: two dumps and every record slot.
constexpr int SyncSeconds = (2 * DumpLength * 10 / 9600) + ReaderCapacity * 90 / 1000;

QString reasonText(SnapshotReason reason)
{
    switch (reason) {
    case SnapshotReason::Snapshot: break;
    case SnapshotReason::BeforeSync: return QStringLiteral("sync előtt");
    case SnapshotReason::AfterSync: return QStringLiteral("sync után");
    case SnapshotReason::BeforeRestore: return QStringLiteral("restore előtt");
    case SnapshotReason::AfterRestore: return QStringLiteral("restore után");
    }
    return QStringLiteral("pillanatkép");
}

QString snapshotProblem(const QString &path, FileFault fault)
{
    return QStringLiteral("A pillanatkép nem menthető (%1): %2.").arg(path, Texts::fileFaultReason(fault));
}

// Speaks for a sync on the terminal: the snapshots and the plan on standard
// output, the question on standard error, the answer from standard input.
class Conversation : public SyncListener
{
public:
    Conversation(Transfer &transfer, bool ask) : m_transfer(transfer), m_ask(ask) {}

    void snapshotKept(const QString &path, SnapshotReason reason) override
    {
        m_transfer.progress.finish();
        print(QStringLiteral("Pillanatkép (%1): %2\n").arg(reasonText(reason), path));
    }

    void showPlan(const Comparison &plan, int duplicates) override
    {
        m_transfer.progress.finish();
        QString text = QStringLiteral("Terv, kód szerint:\n");
        if (!plan.missing.isEmpty())
            text += QStringLiteral("Felveendő, a kártyaolvasóban még nincs (%1):\n").arg(plan.missing.size())
                + codes(plan.missing);
        if (!plan.extra.isEmpty())
            text += QStringLiteral("Törlendő, nincs a listában (%1):\n").arg(plan.extra.size()) + codes(plan.extra);
        if (!plan.otherTime.isEmpty()) {
            text += QStringLiteral("Más nyitási időt kap (%1):\n").arg(plan.otherTime.size());
            for (const TimeChange &change : plan.otherTime)
                text += QStringLiteral("  %1  %2 -> %3\n").arg(hexCode(change.code)).arg(change.held).arg(change.wanted);
        }
        text += QStringLiteral("Változatlan marad: %1 kártya.\n").arg(plan.same);
        if (duplicates > 0)
            text += QStringLiteral("%1 kód többször is szerepel; mindegyik csak egyszer kerül be.\n").arg(duplicates);
        print(text);
        fflush(stdout);
    }

    bool approve() override
    {
        if (!m_ask)
            return true;
        fprintf(stderr, "%s", QStringLiteral("Beírjam a kártyaolvasóba, és töröljem alatta a többi helyet? "
                                             "(%1 rekord, kb. %2 perc) [igen/nem]: ")
                                  .arg(ReaderCapacity)
                                  .arg(QString::number(SyncSeconds / 60.0, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(',')))
                                  .toLocal8Bit()
                                  .constData());
        fflush(stderr);
        char answer[64] = {};
        if (!fgets(answer, sizeof answer, stdin))
            return false;
        const QString word = QString::fromLocal8Bit(answer).trimmed().toLower();
        return word == QLatin1String("igen") || word == QLatin1String("i") || word == QLatin1String("yes")
            || word == QLatin1String("y");
    }

private:
    Transfer &m_transfer;
    bool m_ask;
};

// A sync or a restore asks on a terminal; anywhere else it must be told.
bool mayGoOn(const Options &options, const char *command)
{
    if (options.yes || options.dryRun || ::isatty(STDIN_FILENO))
        return true;
    say(QStringLiteral("A %1 parancs a beírás előtt megerősítést kér, de a szabványos bemenet nem terminál: "
                       "semmit sem küldtem. Parancsfájlból a --yes kapcsolóval fut le kérdés nélkül.")
            .arg(QLatin1String(command)));
    return false;
}

QString howFar(const SyncResult &result)
{
    return QStringLiteral("%1 kártya beírva, %2 hely törölve. Az előző állapot pillanatképe: %3")
        .arg(result.cardsWritten)
        .arg(result.slotsErased)
        .arg(result.before);
}

// The outcome of a sync or a restore: what the person is told, and the exit status.
int reportSync(const SyncResult &result, const Transfer &transfer, const QString &what)
{
    switch (result.outcome) {
    case SyncResult::Done:
        say(QStringLiteral("Kész: a kártyaolvasó pontosan %1 %2 kártyáját tartalmazza.").arg(what).arg(result.after.same));
        return ExitDone;
    case SyncResult::NothingToChange:
        say(QStringLiteral("Nincs mit változtatni: a kártyaolvasó pontosan %1 kártyáit tartalmazza. Semmit sem írtam.").arg(what));
        return ExitDone;
    case SyncResult::Planned:
        say(QStringLiteral("Próba: semmit sem írtam, pillanatkép sem készült."));
        return result.plan.identical() ? ExitDone : ExitDifferences;
    case SyncResult::NotApproved:
        say(QStringLiteral("Semmit sem írtam a kártyaolvasóba."));
        return ExitUsage;
    case SyncResult::SnapshotFailed:
        say(snapshotProblem(snapshotFolder(), result.fileFault) + QLatin1Char(' ')
            + (result.written() ? QStringLiteral("A beírás megtörtént; ") + howFar(result)
                                : QStringLiteral("Semmit sem írtam a kártyaolvasóba.")));
        return ExitFileFailed;
    case SyncResult::DumpFailed:
        return dumpFailed(result.dumpOutcome, transfer.port,
                          result.written() ? QStringLiteral("A beírás megtörtént, de az ellenőrző kiolvasás nem: ")
                                                 + howFar(result)
                                           : QStringLiteral("Semmit sem írtam a kártyaolvasóba."));
    case SyncResult::WriteRefused:
        say(Texts::WriteFailed + QLatin1Char(' ') + howFar(result));
        return ExitReaderFailed;
    case SyncResult::EraseRefused:
        say(QStringLiteral("%1 kártyái mind bekerültek (%2), de a kártyaolvasó nem fogadta el az üres rekordot, "
                           "amellyel a régi kártyák helyét törölném, ezért abbahagytam. %3")
                .arg(what.front().toUpper() + what.mid(1))
                .arg(result.cardsWritten)
                .arg(howFar(result)));
        if (!result.plan.extra.isEmpty())
            say(QStringLiteral("Nincsenek a listában, és a kártyaolvasóban maradhattak (%1):\n").arg(result.plan.extra.size())
                + codes(result.plan.extra).chopped(1));
        return ExitReaderFailed;
    case SyncResult::LineLost:
        say(lostLine(Texts::WriteFailed, transfer.port) + QLatin1Char(' ') + howFar(result));
        return ExitReaderFailed;
    case SyncResult::Interrupted:
        say(result.written() ? QStringLiteral("Megszakítva: ") + howFar(result)
                             : QStringLiteral("Megszakítva. Semmit sem írtam a kártyaolvasóba."));
        return ExitStopped;
    case SyncResult::Differs:
        print(differences(result.after));
        say(QStringLiteral("A kártyaolvasó nem pontosan %1 kártyáit tartalmazza. Pillanatkép előtte: %2, utána: %3")
                .arg(what, result.before, result.afterwards));
        return ExitDifferences;
    }
    return ExitReaderFailed;
}

int runOnReader(const Options &options, const QList<DumpRecord> &records, bool restore)
{
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    Conversation conversation(transfer, !options.yes);
    SyncRequest request;
    request.records = records;
    request.restore = restore;
    request.dryRun = options.dryRun;
    request.portNumber = transfer.port.portNumber();
    const SyncResult result = runSync(request, transfer.state, transfer.port, transfer.clock, transfer.progress,
                                      conversation);
    transfer.progress.finish();
    return reportSync(result, transfer, restore ? QStringLiteral("a pillanatkép") : QStringLiteral("a lista"));
}

} // namespace

int sync(const Options &options)
{
    CodeList list;
    if (const int status = judgeList(options.file, list, true, false))
        return status;
    if (!mayGoOn(options, "sync"))
        return ExitUsage;
    return runOnReader(options, withOpeningTime(list.codes, *options.openingTime), false);
}

int restore(const Options &options)
{
    QByteArray image;
    if (const FileFault fault = loadSnapshot(options.file, image); fault != FileFault::None) {
        say(QStringLiteral("A pillanatkép (%1) nem használható: %2. Semmit sem küldtem el.")
                .arg(options.file, Texts::fileFaultReason(fault)));
        return ExitFileFailed;
    }
    const QList<DumpRecord> records = validRecords(image);
    if (eachCodeOnce(records).size() > ReaderCapacity) {
        say(Texts::tooManyCards(ReaderCapacity) + QLatin1Char(' ') + Texts::sentSoFar(0));
        return ExitFileFailed;
    }
    if (!mayGoOn(options, "restore"))
        return ExitUsage;
    return runOnReader(options, records, true);
}

int snapshot(const Options &options)
{
    SnapshotFile file;   // where it goes is known good before the reader is asked
    const FileFault fault = options.file.isEmpty() ? file.openInFolder() : file.openAs(options.file);
    if (fault != FileFault::None) {
        say(snapshotProblem(options.file.isEmpty() ? snapshotFolder() : options.file, fault));
        return ExitFileFailed;
    }
    Transfer transfer;
    QByteArray dump;
    if (const int status = readWholeMemory(options, transfer, dump, QStringLiteral("Pillanatkép nem készült.")))
        return status;
    if (const FileFault kept = file.keep(dump, transfer.port.portNumber(), SnapshotReason::Snapshot);
        kept != FileFault::None) {
        say(snapshotProblem(options.file.isEmpty() ? snapshotFolder() : options.file, kept));
        return ExitFileFailed;
    }
    print(file.path() + QLatin1Char('\n'));
    return ExitDone;
}

int listSnapshots(const Options &options)
{
    const QList<SnapshotInfo> snapshots = ::listSnapshots();
    QJsonArray array;
    QString table = QStringLiteral("%1  %2  %3  %4  %5\n")
                        .arg(QStringLiteral("IDŐPONT"), -19)
                        .arg(QStringLiteral("PORT"), -4)
                        .arg(QStringLiteral("MIÉRT"), -14)
                        .arg(QStringLiteral("KÁRTYA"), 6)
                        .arg(QStringLiteral("FÁJL"));
    for (const SnapshotInfo &info : snapshots) {
        const QDateTime local = info.taken.toLocalTime();
        array.append(QJsonObject{
            {QStringLiteral("path"), info.path},
            {QStringLiteral("taken"), local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs)},
            {QStringLiteral("port"), info.port},
            {QStringLiteral("cards"), info.cards >= 0 ? QJsonValue(info.cards) : QJsonValue()},
            {QStringLiteral("reason"), reasonKey(info.reason)},
        });
        table += QStringLiteral("%1  %2  %3  %4  %5\n")
                     .arg(local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), -19)
                     .arg(info.port, -4)
                     .arg(reasonText(info.reason), -14)
                     .arg(info.cards >= 0 ? QString::number(info.cards) : QStringLiteral("?"), 6)
                     .arg(info.path);
    }
    if (options.json)
        print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    else if (snapshots.isEmpty())
        say(QStringLiteral("Még nincs pillanatkép (%1).").arg(snapshotFolder()));
    else
        print(table);
    return ExitDone;
}
