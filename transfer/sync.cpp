#include "transfer/sync.h"
#include "serial/commport.h"
#include "transfer/clock.h"
#include "transfer/upload.h"

namespace {

// Reads the whole memory and keeps it as a snapshot (unless it is only to be looked at).
bool readAndKeep(const SyncRequest &request, SnapshotReason reason, WindowState &state, CommPort &port,
                 Clock &clock, ProgressView &view, SyncListener &listener, SyncResult &result, QByteArray &dump,
                 QString &kept)
{
    SnapshotFile snapshot;   // opened before the reader is asked: a folder that takes none is known first
    if (!request.dryRun && (result.fileFault = snapshot.openInFolder()) != FileFault::None) {
        result.outcome = SyncResult::SnapshotFailed;
        return false;
    }
    result.dumpOutcome = readDump(state, port, clock, view, dump);
    if (result.dumpOutcome != ReadoutResult::Done) {
        result.outcome = result.dumpOutcome == ReadoutResult::Interrupted ? SyncResult::Interrupted
                                                                          : SyncResult::DumpFailed;
        return false;
    }
    if (request.dryRun)
        return true;
    if ((result.fileFault = snapshot.keep(dump, request.portNumber, reason)) != FileFault::None) {
        result.outcome = SyncResult::SnapshotFailed;
        return false;
    }
    kept = snapshot.path();
    listener.snapshotKept(kept, reason);
    return true;
}

// One record; false (with the outcome set) when the sync stops here.
bool write(const DumpRecord &record, SyncResult::Outcome refused, int &count, WindowState &state,
           CommPort &port, Clock &clock, ProgressView &view, SyncResult &result)
{
    view.showProgress(state.WriteAddress);
    const RecordOutcome outcome = writeRecord(record, state, port, clock);
    count += outcome == RecordOutcome::Taken;
    if (outcome == RecordOutcome::LineLost)
        result.outcome = SyncResult::LineLost;
    else if (clock.stopRequested())
        result.outcome = SyncResult::Interrupted;
    else if (outcome != RecordOutcome::Taken)
        result.outcome = refused;
    else
        return true;
    return false;
}

} // namespace

SyncResult runSync(const SyncRequest &request, WindowState &state, CommPort &port, Clock &clock,
                   ProgressView &view, SyncListener &listener)
{
    SyncResult result;
    int duplicates = 0;
    const QList<DumpRecord> records = eachCodeOnce(request.records, &duplicates);
    const SnapshotReason before = request.restore ? SnapshotReason::BeforeRestore : SnapshotReason::BeforeSync;
    const SnapshotReason after = request.restore ? SnapshotReason::AfterRestore : SnapshotReason::AfterSync;

    QByteArray dump;
    if (!readAndKeep(request, before, state, port, clock, view, listener, result, dump, result.before))
        return result;
    result.plan = compareWithReader(records, validRecords(dump));
    listener.showPlan(result.plan, duplicates);
    if (request.dryRun) {
        result.outcome = SyncResult::Planned;
        return result;
    }
    if (result.plan.identical()) {
        result.outcome = SyncResult::NothingToChange;
        return result;
    }
    if (!listener.approve()) {   // a stop asked during the question is no answer
        result.outcome = clock.stopRequested() ? SyncResult::Interrupted : SyncResult::NotApproved;
        return result;
    }

    // Where the reader puts a record in its dump is its own business: every
    // slot below the list is erased, wherever a removed card may sit.
    state.WriteAddress = FirstWriteAddress;
    view.setProgressMaximum(FirstWriteAddress);
    view.expectRecords(ReaderCapacity);
    for (const DumpRecord &record : records) {
        if (!write(record, SyncResult::WriteRefused, result.cardsWritten, state, port, clock, view, result))
            return result;
    }
    while (state.WriteAddress >= 0) {
        if (!write(ErasedRecord, SyncResult::EraseRefused, result.slotsErased, state, port, clock, view, result))
            return result;
    }

    if (!readAndKeep(request, after, state, port, clock, view, listener, result, dump, result.afterwards))
        return result;
    result.after = compareWithReader(records, validRecords(dump));
    result.outcome = result.after.identical() ? SyncResult::Done : SyncResult::Differs;
    return result;
}
