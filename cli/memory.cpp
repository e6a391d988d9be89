// The commands that change the reader's whole memory, and the snapshots that
// keep a way back: sync, restore, snapshot, snapshots.
#include "cli/commands.h"
#include "cli/support.h"
#include "cli/texts.h"
#include "sessions/sessions.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// Speaks for a sync on the terminal: the snapshots and the plan on standard
// output, the question on standard error, the answer from standard input.
class TerminalListener : public SyncListener
{
public:
    TerminalListener(Transfer &transfer, const CodeList *list, bool ask)
        : m_transfer(transfer), m_list(list), m_ask(ask)
    {
    }

    void snapshotKept(const QString &path, SnapshotReason reason) override
    {
        m_transfer.progress.finish();
        print(Texts::snapshotKept(reason, path));
        fflush(stdout);
    }

    void showPlan(const SyncPlan &plan, int repeated) override
    {
        m_transfer.progress.finish();
        print(Texts::planText(plan, repeated, m_list, !m_list));
        fflush(stdout);
    }

    bool approve(const SyncPlan &plan) override
    {
        if (!m_ask)
            return true;
        // What was typed during the first read is no answer to a question not yet asked.
        if (::isatty(STDIN_FILENO))
            ::tcflush(STDIN_FILENO, TCIFLUSH);
        fputs(Texts::question(plan).toLocal8Bit().constData(), stderr);
        fflush(stderr);
        char answer[64] = {};
        if (!fgets(answer, sizeof answer, stdin))
            return false;
        const QString word = QString::fromLocal8Bit(answer).trimmed().toLower();
        return word == QLatin1String("igen") || word == QLatin1String("i") || word == QLatin1String("yes")
            || word == QLatin1String("y");
    }

    void replan(const SyncPlan &plan, bool learned) override
    {
        m_transfer.progress.finish();
        say(Texts::replanned(plan, learned));
    }

private:
    Transfer &m_transfer;
    const CodeList *m_list;
    bool m_ask;
};

// A time for --json: local, with its offset; null when there is none.
QJsonValue jsonTime(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    return time.isValid() ? QJsonValue(local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs))
                          : QJsonValue();
}

// A text for --json; null when empty.
QJsonValue jsonText(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// A sync or a restore asks on a terminal; anywhere else it must be told.
bool mayGoOn(const Options &options, const char *command)
{
    if (options.yes || options.dryRun || ::isatty(STDIN_FILENO))
        return true;
    say(Texts::needsConfirmation(QLatin1String(command)));
    return false;
}

// The command that finishes what a stopped one began; check: the one that sees whether it did,
// writing nothing.
QString sameCommand(const Options &options, int port, bool restore, bool check = false)
{
    QStringList arguments{check ? (restore ? QStringLiteral("restore") : QStringLiteral("verify"))
                                : (restore ? QStringLiteral("restore") : QStringLiteral("sync")),
                          QStringLiteral("--port"), QString::number(port)};
    if (!options.door.isEmpty() && !(check && !restore))
        arguments << QStringLiteral("--door") << options.door;
    if (!restore)
        arguments << QStringLiteral("--time") << QString::number(*options.openingTime);
    if (check && restore)
        arguments << QStringLiteral("--dry-run");
    return Texts::commandLine(arguments << options.file);
}

// The outcome of a sync or a restore: what the person is told, and the exit status.
int report(const SyncResult &result, const Transfer &transfer, const CodeList *list, const Options &options)
{
    const QString repeat = sameCommand(options, transfer.port.portNumber(), !list);
    Texts::SyncWording wording;
    wording.restore = !list;
    wording.file = options.file;
    wording.door = options.door;
    wording.portNumber = transfer.port.portNumber();
    wording.retry = Texts::repeatCommand(repeat);
    wording.finish = Texts::stopAdvice(repeat, list ? result.beforeSnapshot : QString());
    wording.seeReader = Texts::checkAgain(sameCommand(options, transfer.port.portNumber(), !list, true));
    wording.newReader = Texts::newReaderAdvice();
    wording.otherDoorAdvice = Texts::otherDoorAdvice(options.door);
    const Texts::SyncOutcomeText text = Texts::syncOutcome(result, list, wording);
    print(text.details);
    say(text.said);
    switch (result.outcome) {
    case SyncResult::Done: return result.afterFault == FileFault::None ? ExitDone : ExitFileFailed;
    case SyncResult::Differs: return ExitDifferences;
    case SyncResult::NothingToChange: return ExitDone;
    case SyncResult::Planned: return result.plan.nothingToDo ? ExitDone : ExitDifferences;
    case SyncResult::NotApproved:
    case SyncResult::OtherDoor:
    case SyncResult::ChangedReader: return ExitUsage;
    case SyncResult::Refused:
    case SyncResult::SnapshotFailed: return ExitFileFailed;
    case SyncResult::DumpFailed: return dumpExitStatus(result.dumpOutcome);
    case SyncResult::Interrupted: return ExitStopped;
    default: return ExitReaderFailed;
    }
}

int runOnReader(const Options &options, SyncRequest &request, const CodeList *list)
{
    request.door = options.door;
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    TerminalListener listener(transfer, list, !options.yes);
    request.dryRun = options.dryRun;
    request.newReader = options.newReader;
    request.portNumber = transfer.port.portNumber();
    const SyncResult result = syncSession(transfer.conversation, request, listener);
    transfer.progress.finish();
    return report(result, transfer, list, options);
}

} // namespace

int sync(const Options &options)
{
    // The list's bytes as they were before and after it was read: the door is told it holds
    // that version only when it did not change on the way.
    FileStamp before, after;
    const bool stamped = stampPath(options.file, true, before) == FileFault::None;
    CodeList list;
    if (const int status = judgeList(options.file, list, ListUse::Sync))
        return status;
    if (!mayGoOn(options, "sync"))
        return ExitUsage;
    SyncRequest request;
    request.list = &list;
    request.openingTime = *options.openingTime;
    request.listPath = QFileInfo(options.file).absoluteFilePath();
    if (stamped && stampPath(options.file, true, after) == FileFault::None && after.hash == before.hash)
        request.listHash = before.hash;
    return runOnReader(options, request, &list);
}

int restore(const Options &options)
{
    SyncRequest request;
    if (const FileFault fault = loadSnapshot(options.file, request.snapshot); fault != FileFault::None) {
        say(Texts::snapshotUnusable(options.file, fault) + QLatin1Char(' ') + Texts::sentSoFar(0));
        return ExitFileFailed;
    }
    if (const ListProblem problem = snapshotProblem(request.snapshot); problem != ListProblem::None) {
        say(Texts::snapshotUnfit(options.file, problem));
        return ExitFileFailed;
    }
    if (!mayGoOn(options, "restore"))
        return ExitUsage;
    Options own = options;
    own.door = restoreDoor(options.file, options.door);
    return runOnReader(own, request, nullptr);
}

int snapshot(const Options &options)
{
    SnapshotFile file;   // where it goes is known good before the reader is asked
    const FileFault fault = openSnapshotFile(file, options.file);
    const QString where = options.file.isEmpty() ? snapshotsFolder() : options.file;
    if (fault != FileFault::None) {
        say(Texts::snapshotNotKept(where, fault));
        return ExitFileFailed;
    }
    Transfer transfer;
    QByteArray dump;
    if (const int status = readWholeMemory(options, transfer, dump, Texts::noSnapshotTaken()))
        return status;
    // Named for the door it is; a reader that holds another door's memory than the one named is said.
    const DoorOnLine on = doorHolding(dump, options.door);
    if (on.other) {
        say(Texts::otherDoor(on.door, options.door, Texts::otherDoorAdvice(options.door)) + QLatin1Char(' ')
            + Texts::noSnapshotTaken());
        return ExitUsage;
    }
    if (const FileFault kept = file.keep(dump, transfer.port.portNumber(), SnapshotReason::Snapshot, on.door);
        kept != FileFault::None) {
        say(Texts::snapshotNotKept(where, kept));
        return ExitFileFailed;
    }
    print(file.path() + QLatin1Char('\n'));
    return ExitDone;
}

int listSnapshots(const Options &options)
{
    const SnapshotListing listing = snapshotsKept(options.door);
    if (listing.fault != FileFault::None) {
        say(Texts::snapshotFolderUnreadable(snapshotsFolder(), listing.fault));
        return ExitFileFailed;
    }
    QJsonArray array;
    qsizetype doorWidth = 0;
    for (const SnapshotInfo &info : listing.snapshots)
        doorWidth = std::max(doorWidth, info.door.size());
    QString table = Texts::snapshotsHeader(int(doorWidth));
    bool foreign = false;
    for (const SnapshotInfo &info : listing.snapshots) {
        array.append(QJsonObject{
            {QStringLiteral("path"), info.path},
            {QStringLiteral("taken"), jsonTime(info.taken)},
            {QStringLiteral("port"), info.port},
            {QStringLiteral("door"), jsonText(info.door)},
            {QStringLiteral("cards"), info.cards >= 0 ? QJsonValue(info.cards) : QJsonValue()},
            {QStringLiteral("reason"), reasonKey(info.reason)},
            {QStringLiteral("foreign"), info.foreign},
        });
        table += Texts::snapshotsRow(info, int(doorWidth));
        foreign |= info.foreign;
    }
    if (options.json) {
        print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    } else if (listing.snapshots.isEmpty()) {
        say(Texts::noSnapshotsYet(snapshotsFolder()));
    } else {
        print(table);
        if (foreign)
            say(Texts::foreignSnapshotsMarked());
    }
    return ExitDone;
}

int listDoors(const Options &options)
{
    QJsonArray array;
    QString table;
    for (const DoorNow &now : doorsNow(StoppableClock().today())) {
        const Door &door = now.door;
        QJsonArray stillOpen;
        for (const ListedCard &card : now.standing.stillOpen)
            stillOpen.append(QJsonObject{{QStringLiteral("code"), hexCode(card.code)}, {QStringLiteral("name"), card.name},
                                         {QStringLiteral("lastDay"), card.lastDay.toString(Qt::ISODate)}});
        array.append(QJsonObject{
            {QStringLiteral("name"), door.name},
            {QStringLiteral("port"), door.port},
            {QStringLiteral("synced"), jsonTime(door.synced)},
            {QStringLiteral("list"), jsonText(door.list)},
            {QStringLiteral("listHash"), jsonText(QString::fromLatin1(door.listHash.toHex()))},
            {QStringLiteral("listChanged"), now.listHash.isEmpty() ? QJsonValue() : QJsonValue(now.listHash != door.listHash)},
            {QStringLiteral("needsSync"), now.standing.needsSync()},
            {QStringLiteral("stillOpen"), stillOpen},
            {QStringLiteral("known"), !door.memory.isEmpty()},
            {QStringLiteral("layout"), door.layoutKnown},
            {QStringLiteral("snapshot"), jsonText(door.snapshot)},
        });
        table += Texts::doorRow(door, now.standing);
    }
    if (options.json)
        print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    else if (array.isEmpty())
        say(Texts::noDoorsYet());
    else
        print(table);
    return ExitDone;
}
