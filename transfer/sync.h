// The reader made to hold exactly a list: its memory kept as a snapshot, a
// plan by code, the plan written, then the memory read back, kept, and
// compared. A restore is the same with a snapshot as what the reader is to
// hold: each record with its own opening time, and with a known layout each
// in the slot it had.
#pragma once

#include "transfer/conversation.h"
#include "transfer/exchange.h"
#include "transfer/readers.h"
#include "transfer/snapshots.h"
#include "transfer/syncplan.h"

// What the front end says and asks on the way.
class SyncListener
{
public:
    virtual ~SyncListener() = default;
    virtual void snapshotKept(const QString &path, SnapshotReason reason) = 0;
    // The plan, before anything is written; repeated: codes the list names more than once.
    virtual void showPlan(const SyncPlan &plan, int repeated) = 0;
    // Whether to write; false leaves the reader as it is.
    virtual bool approve(const SyncPlan &plan) = 0;
    // The plan is replaced by another, written at once: the layout did not hold
    // (learned false), or it was just learned and lets the cards that go be removed.
    virtual void replan(const SyncPlan &plan, bool learned) = 0;
    // The reader holds what another door's held when we left it, not the chosen one's: true goes
    // on as that door. Asked before anything is kept or written, for a sync only (a restore onto
    // another door's reader is refused); no answer is no.
    virtual bool goOnAsDoor(const QString & /*recognised*/, const QString & /*chosen*/) { return false; }
    // The reader on the line is not the one we left the named door holding, nor any other known
    // one (changed by other means, or another reader): true takes it as that door's, learned anew.
    virtual bool isDoorsReaderNow(const QString & /*door*/) { return false; }
};

struct SyncRequest {
    const CodeList *list = nullptr;   // a sync: the list's cards, each with openingTime
    int openingTime = 0;
    QByteArray snapshot;              // a restore: the memory as a snapshot keeps it
    bool dryRun = false;              // read and plan only; nothing kept, nothing written
    int portNumber = 0;               // for the snapshots' names
    QString listPath;                 // the list's file, remembered with the reader it was synced to
    QList<KnownReader> knownReaders;  // a layout is used only on the reader whose memory it was kept with
    QString door;                     // the door the person says this is; empty: whichever it is known as
    QByteArray listHash;              // SHA-256 of the list file's bytes, remembered with the door
    QString snapshotFolder;           // where the snapshots before and after are kept
    QByteArray doorMemory;            // the memory we left the named door's reader holding; empty: none known
    bool newReader = false;           // the person says the reader on the line is the named door's now
    bool isRestore() const { return list == nullptr; }
};

struct SyncResult {
    enum Outcome {
        Done,              // the reader holds exactly the list
        NothingToChange,   // it did already: nothing written, nothing kept
        Planned,           // a dry run
        NotApproved,
        Refused,           // the list or snapshot is not fit (problem): nothing read or written
        SnapshotFailed,    // nothing written: no way back would have been kept
        DumpFailed,        // the first read (nothing written), or the one after writing
        WriteRefused,      // the reader said no to a card
        WriteUnanswered,   // the reader did not answer a record
        EraseRefused,      // cards that go may still be there
        LineLost,
        Interrupted,
        Differs,           // written, but the reader holds something else
        OtherDoor,         // the reader holds what another door's held when we left it: nothing written
        ChangedReader,     // the named door's reader held another memory when we left it, and this one
                           // is no known reader: not taken for that door unasked, nothing written
    } outcome = Done;
    QString otherDoor;                              // OtherDoor: which one
    ListProblem problem = ListProblem::None;        // Refused
    DumpOutcome dumpOutcome = DumpOutcome::Done;    // DumpFailed
    FileFault fileFault = FileFault::None;          // SnapshotFailed
    FileFault afterFault = FileFault::None;         // the read-back was compared, but could not be kept
    SyncPlan plan;                  // the plan written last
    qsizetype acknowledged = 0;     // writes of that plan the reader took
    bool lastUncertain = false;     // the write after them went out, and its fate is not known
    int cardsWritten = 0;           // over all plans
    int slotsErased = 0;
    bool allWritten = false;        // stopped in the read-back: every write is in
    bool layoutUsed = false;        // a plan by a learned layout was written
    bool layoutLearned = false;     // the read-back showed the layout, and it is kept
    Comparison readBack;            // the reader after, against the list
    QList<DumpRecord> held;         // what the reader holds after, when it was read back
    QString beforeSnapshot;         // where the state before is kept
    QString afterSnapshot;          // and the state after
    ReaderChange reader;            // what the reader is known by from now on, for the front end to keep
    bool written() const { return cardsWritten + slotsErased > 0; }
};

// Why a snapshot cannot be restored: none of it is cards (it would empty the
// reader), or more codes than the reader holds.
ListProblem snapshotProblem(const QByteArray &snapshot);

// Writes only after listener.approve(); stops at the next pause once asked to.
SyncResult runSync(Conversation &conversation, const SyncRequest &request, SyncListener &listener);
