#include "sessions/sessions.h"
#include "store/readerstore.h"
#include "transfer/files.h"
#include "transfer/snapshots.h"

ReadoutResult readoutSession(Conversation &c, ReadoutFile &file)
{
    return runReadout(c, file, knownReaders());
}

UploadResult uploadSession(Conversation &c, const CodeList &list, int openingTime)
{
    return runUpload(c, list, openingTime);
}

VerifyResult verifySession(Conversation &c, const CodeList &list, std::optional<int> openingTime)
{
    return runVerify(c, list, openingTime, knownReaders());
}

DumpOutcome memorySession(Conversation &c, QByteArray &dump)
{
    return readDump(c, dump, knownReaders());
}

SyncResult syncSession(Conversation &c, SyncRequest request, SyncListener &listener)
{
    ReaderStore store;
    request.knownReaders = store.knownReaders();
    request.snapshotFolder = snapshotFolder();
    for (const Door &door : store.doors()) {
        if (door.name == request.door)
            request.doorMemory = door.memory;
    }
    const SyncResult result = runSync(c, request, listener);
    store.keep(result.reader);
    return result;
}

QList<Door> knownDoors()
{
    return ReaderStore().doors();
}

QList<DoorNow> doorsNow(const QDate &today)
{
    QList<DoorNow> doors;
    for (const Door &door : ReaderStore().doors()) {
        DoorNow now{door, {}, {}};
        FileStamp stamp;
        QByteArray bytes;
        std::optional<CodeList> list;
        if (!door.list.isEmpty() && stampPath(door.list, true, stamp, &bytes) == FileFault::None) {
            now.listHash = stamp.hash;
            list = judgeCodeList(bytes);
        }
        now.standing = doorStanding(door, door.list, now.listHash, list ? &*list : nullptr, today);
        doors.append(now);
    }
    return doors;
}

QDateTime lastSyncOfList(const QString &listPath)
{
    return ReaderStore().lastSyncOf(listPath);
}

DoorOnLine doorHolding(QByteArrayView dump, const QString &named)
{
    return doorOnLine(readerHolding(ReaderStore().knownReaders(), dump), named);
}

SnapshotListing snapshotsKept(const QString &doorFirst)
{
    return listSnapshots(doorFirst);
}

QString snapshotsFolder()
{
    return snapshotFolder();
}

FileFault openSnapshotFile(SnapshotFile &file, const QString &path)
{
    return path.isEmpty() ? file.openInFolder(snapshotFolder()) : file.openAs(path);
}

QString restoreDoor(const QString &snapshotPath, const QString &named)
{
    return named.isEmpty() ? doorOfSnapshot(snapshotPath) : named;
}

int doorPort(const QString &door)
{
    return door.isEmpty() ? 0 : ReaderStore().portOf(door);
}
