// The reader made to hold exactly a list: its memory kept as a snapshot, a plan
// by code, the list written from the top slot down and every slot below it
// erased, then the memory read back, kept, and compared. A restore is the same
// with a snapshot's records, each with its own opening time, as the list.
#pragma once

#include "transfer/readout.h"
#include "transfer/snapshots.h"
#include "transfer/verify.h"

class Clock;
class CommPort;

// What an erased slot reads: no card, so a readout passes it over.
constexpr DumpRecord ErasedRecord{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFF};

// What the front end says and asks on the way.
class SyncListener
{
public:
    virtual ~SyncListener() = default;
    virtual void snapshotKept(const QString &path, SnapshotReason reason) = 0;
    // The plan, before anything is written; duplicates: codes listed more than once.
    virtual void showPlan(const Comparison &plan, int duplicates) = 0;
    // Whether to write; false leaves the reader as it is.
    virtual bool approve() = 0;
};

struct SyncRequest {
    QList<DumpRecord> records;   // what the reader is to hold, in this order, each with its time
    bool restore = false;        // names the snapshots for a restore
    bool dryRun = false;         // read and plan only; nothing kept, nothing written
    int portNumber = 0;          // for the snapshots' names
};

struct SyncResult {
    enum Outcome {
        Done,              // the reader holds exactly the list
        NothingToChange,   // it did already: nothing written
        Planned,           // a dry run
        NotApproved,
        SnapshotFailed,    // nothing written: no way back would have been kept
        DumpFailed,        // the first read (nothing written), or the one after writing
        WriteRefused,      // a card of the list
        EraseRefused,      // the list is in; cards not in it may still be there
        LineLost,
        Interrupted,
        Differs,           // written, but the reader holds something else
    } outcome = Done;
    ReadoutResult::Outcome dumpOutcome = ReadoutResult::Done;   // DumpFailed
    FileFault fileFault = FileFault::None;                      // SnapshotFailed
    Comparison plan;                // the reader before, against the list
    Comparison after;               // the reader after, against the list
    int cardsWritten = 0;
    int slotsErased = 0;
    bool written() const { return cardsWritten + slotsErased > 0; }
    QString before;                 // the snapshot of the state before
    QString afterwards;             // and after
};

SyncResult runSync(const SyncRequest &request, WindowState &state, CommPort &port, Clock &clock,
                   ProgressView &view, SyncListener &listener);
