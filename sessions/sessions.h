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

// Every operation, whatever stops it (the person's stop, a pulled cable, a silent or babbling
// reader), asks only on a quiet line, never leaves a dump it asked for unnoted (the next program
// waits out its rest), and leaves the line open as it found it. A stop between two pauses ends it
// at the next pause.

// The reader's memory, its valid records appended to the file opened before it was asked.
// Done: the file has one header and one line per card. Any other outcome: the file as it was (a
// file the readout made is gone); the reader is never written.
ReadoutResult readoutSession(Conversation &conversation, ReadoutFile &file);

// Every card line into the reader from the top slot down, as the list was judged. Nothing is
// sent unless every line is a card and the reader has a place for each (FileFailed, Malformed,
// TooManyCards, NoOpeningTime). Otherwise the first `written` records are in the reader; a
// refused record stops it with the reader holding them; a stop, a lost line or an unanswered
// record leaves the next one uncertain (lastUncertain). The list file is never written.
UploadResult uploadSession(Conversation &conversation, const CodeList &list, int openingTime);

// The reader read and compared with the list's cards valid today. Nothing is written anywhere;
// a list that is not fit to be checked is said without reading (problem).
VerifyResult verifySession(Conversation &conversation, const CodeList &list, std::optional<int> openingTime);

// The whole memory, as a snapshot takes it: two reads that agree when the first is in doubt.
// Nothing is written; a failed read gives no memory.
DumpOutcome memorySession(Conversation &conversation, QByteArray &dump);

// A sync (request.list) or a restore (request.snapshot). Read, planned, asked, kept (a snapshot
// of the memory before), written, read back and compared, and a snapshot of the memory after.
// Nothing is written before the question's yes and the snapshot before; a dry run, no, another
// door's reader (OtherDoor: a restore onto it is never asked about) or a list or snapshot not fit
// leave the reader and every file as they were. A stop or a lost line while writing leaves the
// acknowledged writes in and the next one uncertain: the stop report names every card that may
// be out (none where a known layout held). What the reader is known by afterwards, and the door
// it is, are kept in the store; a reader written and not read back is forgotten (a stranger next
// time). The list file is never written.
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
