#include "transfer/sync.h"
#include "serial/commport.h"
#include "transfer/clock.h"
#include "transfer/upload.h"

namespace {

// One sync on its way: what it works on, and how far it got.
class SyncRun
{
public:
    SyncRun(const SyncRequest &request, WindowState &state, CommPort &port, Clock &clock, ProgressView &view,
            SyncListener &listener)
        : m_request(request), m_state(state), m_port(port), m_clock(clock), m_view(view), m_listener(listener)
    {
    }

    SyncResult run();

private:
    bool readAndKeep(SnapshotReason reason, QByteArray &dump, QString &kept);
    bool write(const DumpRecord &record, SyncResult::Outcome refused, int &count);

    const SyncRequest &m_request;
    WindowState &m_state;
    CommPort &m_port;
    Clock &m_clock;
    ProgressView &m_view;
    SyncListener &m_listener;
    SyncResult m_result;
};

// Reads the whole memory and keeps it as a snapshot (unless it is only to be looked at).
bool SyncRun::readAndKeep(SnapshotReason reason, QByteArray &dump, QString &kept)
{
    SnapshotFile snapshot;   // opened before the reader is asked: a folder that takes none is known first
    if (!m_request.dryRun && (m_result.fileFault = snapshot.openInFolder()) != FileFault::None) {
        m_result.outcome = SyncResult::SnapshotFailed;
        return false;
    }
    m_result.dumpOutcome = readDump(m_state, m_port, m_clock, m_view, dump);
    if (m_result.dumpOutcome != ReadoutResult::Done) {
        m_result.outcome = m_result.dumpOutcome == ReadoutResult::Interrupted ? SyncResult::Interrupted
                                                                              : SyncResult::DumpFailed;
        return false;
    }
    if (m_request.dryRun)
        return true;
    if ((m_result.fileFault = snapshot.keep(dump, m_request.portNumber, reason)) != FileFault::None) {
        m_result.outcome = SyncResult::SnapshotFailed;
        return false;
    }
    kept = snapshot.path();
    m_listener.snapshotKept(kept, reason);
    return true;
}

// One record; false (with the outcome set) when the sync stops here.
bool SyncRun::write(const DumpRecord &record, SyncResult::Outcome refused, int &count)
{
    m_view.showProgress(m_state.WriteAddress);
    const RecordOutcome outcome = writeRecord(record, m_state, m_port, m_clock);
    count += outcome == RecordOutcome::Taken;
    if (outcome == RecordOutcome::LineLost)
        m_result.outcome = SyncResult::LineLost;
    else if (m_clock.stopRequested())
        m_result.outcome = SyncResult::Interrupted;
    else if (outcome != RecordOutcome::Taken)
        m_result.outcome = refused;
    else
        return true;
    return false;
}

SyncResult SyncRun::run()
{
    int duplicates = 0;
    const QList<DumpRecord> records = eachCodeOnce(m_request.records, &duplicates);
    const SnapshotReason before = m_request.restore ? SnapshotReason::BeforeRestore : SnapshotReason::BeforeSync;
    const SnapshotReason after = m_request.restore ? SnapshotReason::AfterRestore : SnapshotReason::AfterSync;

    QByteArray dump;
    if (!readAndKeep(before, dump, m_result.before))
        return m_result;
    m_result.plan = compareWithReader(records, validRecords(dump));
    m_listener.showPlan(m_result.plan, duplicates);
    if (m_request.dryRun) {
        m_result.outcome = SyncResult::Planned;
        return m_result;
    }
    if (m_result.plan.identical()) {
        m_result.outcome = SyncResult::NothingToChange;
        return m_result;
    }
    if (!m_listener.approve()) {   // a stop asked during the question is no answer
        m_result.outcome = m_clock.stopRequested() ? SyncResult::Interrupted : SyncResult::NotApproved;
        return m_result;
    }

    // Where the reader puts a record in its dump is its own business: every
    // slot below the list is erased, wherever a removed card may sit.
    m_state.WriteAddress = FirstWriteAddress;
    m_view.setProgressMaximum(FirstWriteAddress);
    m_view.expectRecords(ReaderCapacity);
    for (const DumpRecord &record : records) {
        if (!write(record, SyncResult::WriteRefused, m_result.cardsWritten))
            return m_result;
    }
    while (m_state.WriteAddress >= 0) {
        if (!write(ErasedRecord, SyncResult::EraseRefused, m_result.slotsErased))
            return m_result;
    }

    if (!readAndKeep(after, dump, m_result.afterwards))
        return m_result;
    m_result.after = compareWithReader(records, validRecords(dump));
    m_result.outcome = m_result.after.identical() ? SyncResult::Done : SyncResult::Differs;
    return m_result;
}

} // namespace

SyncResult runSync(const SyncRequest &request, WindowState &state, CommPort &port, Clock &clock,
                   ProgressView &view, SyncListener &listener)
{
    return SyncRun(request, state, port, clock, view, listener).run();
}
