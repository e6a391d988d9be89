// One call per operation for every front end. Each gathers what the store
// keeps for it (the readers known by their memory, a door's port, a snapshot's
// door), runs the engine on the line it is given, keeps what changed, and
// returns the engine's result, which the shared texts word. The door rules
// live here, once.
#pragma once

#include "transfer/readout.h"
#include "transfer/sync.h"
#include "transfer/upload.h"
#include "transfer/verify.h"

#include <optional>

ReadoutResult readoutSession(Conversation &conversation, ReadoutFile &file);
UploadResult uploadSession(Conversation &conversation, const CodeList &list, int openingTime);
VerifyResult verifySession(Conversation &conversation, const CodeList &list, std::optional<int> openingTime);
// The whole memory, as a snapshot takes it.
DumpOutcome memorySession(Conversation &conversation, QByteArray &dump);
// A sync (request.list) or a restore (request.snapshot): the known readers handed to the engine,
// and what it leaves known of the reader kept.
SyncResult syncSession(Conversation &conversation, SyncRequest request, SyncListener &listener);

// The doors as kept, and when a sync last left a reader holding the list at this path.
QList<Door> knownDoors();
// Each door with how it stands today with its own list as that file is now.
struct DoorNow {
    Door door;
    QByteArray listHash;   // its list's bytes now; empty: none, or unreadable
    DoorStanding standing;
};
QList<DoorNow> doorsNow(const QDate &today);
QDateTime lastSyncOfList(const QString &listPath);
// The door a reader is that holds this memory, with the door named (DoorOnLine).
DoorOnLine doorHolding(QByteArrayView dump, const QString &named);
// The snapshots kept, a door's own first; where they are kept (for words); and a snapshot's file
// opened before the reader is asked: as path, or in the folder when path is empty.
SnapshotListing snapshotsKept(const QString &doorFirst);
QString snapshotsFolder();
FileFault openSnapshotFile(SnapshotFile &file, const QString &path);

// The door a snapshot goes back to: the one named, else the snapshot's own.
QString restoreDoor(const QString &snapshotPath, const QString &named);
// The port a door was last on; 0: none known.
int doorPort(const QString &door);
