#include "sessions/sessions.h"
#include "store/readerstore.h"
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
    const SyncResult result = runSync(c, request, listener);
    store.keep(result.reader);
    return result;
}

QList<Door> knownDoors()
{
    return ReaderStore().doors();
}

QDateTime lastSyncOfList(const QString &listPath)
{
    return ReaderStore().lastSyncOf(listPath);
}

DoorOnLine doorHolding(QByteArrayView dump, const QString &named)
{
    return doorOnLine(readerHolding(ReaderStore().knownReaders(), dump), named);
}

QString restoreDoor(const QString &snapshotPath, const QString &named)
{
    return named.isEmpty() ? doorOfSnapshot(snapshotPath) : named;
}

int doorPort(const QString &door)
{
    return door.isEmpty() ? 0 : ReaderStore().portOf(door);
}
