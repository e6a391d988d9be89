#include "transfer/sync.h"
#include "serial/line.h"
#include "serial/linetrace.h"
#include "transfer/clock.h"

#include <QHash>

namespace {

// Codes that a list of records names more than once.
int repeatedCodes(const QList<DumpRecord> &records)
{
    QHash<quint64, int> seen;
    for (const DumpRecord &record : records)
        ++seen[codeKey(record.code)];
    return int(std::count_if(seen.cbegin(), seen.cend(), [](int n) { return n > 1; }));
}

// An erase, or a listed card copied over one that goes: either takes a card out.
bool takesOut(const PlannedWrite &write)
{
    return write.purpose == PlannedWrite::Erase || write.purpose == PlannedWrite::Copy;
}

// One sync on its way: what it works on, and how far it got.
class SyncRun
{
public:
    SyncRun(Conversation &c, const SyncRequest &request, SyncListener &listener)
        : m_c(c), m_request(request), m_listener(listener)
    {
    }

    SyncResult run();

private:
    SyncResult runSteps();
    bool judge();
    bool read(ProgressView::Phase phase, QByteArray &dump);
    bool readAndPlan(QByteArray &dump, SyncPlan &plan);
    bool writingGoesAhead(const SyncPlan &plan, const QByteArray &dump, SnapshotFile &beforeFile);
    std::optional<SyncPlan> planForCardsOnly(const SyncPlan &plan, QByteArrayView dump, bool replanned);
    bool layoutHeld(QByteArrayView base, QByteArrayView dump);
    KnownReader asDoor() const;
    KnownReader knownAs(const QByteArray &memory, const QString &snapshot) const;
    SyncPlan planFor(QByteArrayView dump, const std::optional<MemoryLayout> &layout) const;
    bool write(SyncPlan &plan);
    bool readBack(QByteArray &dump, SnapshotReason reason);
    void learnFrom(const SyncPlan &plan, QByteArrayView dump);
    SyncResult finish(QByteArrayView dump);

    Conversation &m_c;
    const SyncRequest &m_request;
    SyncListener &m_listener;
    SyncResult m_result;
    QList<DumpRecord> m_wanted;
    bool m_cardsOnly = false;   // this reader refused the erased record
    QByteArray m_before;        // the memory it held when this sync found it
    QByteArray m_planBase;      // the memory the plan being written was made from
    std::optional<MemoryLayout> m_layout;   // what is known of its layout now
    bool m_finished = false;    // its memory was read back and is known again
    QString m_door;             // the door it is, as asked or as known
    QString m_knownSnapshot;    // where the memory it was recognised by is kept
};

// A list that would empty the reader, or hold more than it can, is not written.
bool SyncRun::judge()
{
    if (m_request.list) {
        m_result.problem = isOpeningTime(m_request.openingTime)
            ? listProblem(*m_request.list, ListUse::Sync, ReaderCapacity) : ListProblem::NoOpeningTime;
        // A card past its last day is not listed: it goes, and its line stays as the list's history.
        m_wanted = withOpeningTime(m_request.list->validCodes(m_c.clock.today()), m_request.openingTime);
        if (m_result.problem == ListProblem::None && m_wanted.isEmpty())
            m_result.problem = ListProblem::AllExpired;
    } else {
        m_wanted = validRecords(m_request.snapshot);
        m_result.problem = snapshotProblem(m_request.snapshot);
    }
    if (m_result.problem == ListProblem::None)
        return true;
    m_result.outcome = SyncResult::Refused;
    return false;
}

bool SyncRun::read(ProgressView::Phase phase, QByteArray &dump)
{
    m_c.view.beginPhase(phase);
    m_result.dumpOutcome = readDump(m_c, dump, m_request.knownReaders);
    if (m_result.dumpOutcome == DumpOutcome::Done)
        return true;
    m_result.outcome = m_result.dumpOutcome == DumpOutcome::Interrupted ? SyncResult::Interrupted
                                                                      : SyncResult::DumpFailed;
    return false;
}

SyncPlan SyncRun::planFor(QByteArrayView dump, const std::optional<MemoryLayout> &layout) const
{
    std::optional<SyncPlan> plan;
    if (layout)
        plan = m_request.isRestore() ? planRestoreByLayout(m_request.snapshot, dump, *layout)
                                     : planByLayout(m_wanted, dump, *layout);
    if (plan)
        return *plan;
    SyncPlan full = planFullSync(m_wanted, dump);
    if (layout) {   // a card to go that the layout could not place is named: no write reaches it
        const Comparison comparison = compareWithReader(m_wanted, validRecords(dump));
        for (int block = 0; block < DumpExaminedBlocks; ++block) {
            const auto record = layout->slotOfBlock(block) < 0 ? dumpBlock(dump, block) : std::nullopt;
            if (record && std::any_of(comparison.extra.cbegin(), comparison.extra.cend(),
                                      [&](const DumpRecord &r) { return r.code == record->code; }))
                full.unreachable.append(*record);
        }
    }
    return full;
}

// The writes of a plan, in order; false (with the outcome set) when the sync stops.
bool SyncRun::write(SyncPlan &plan)
{
    m_result.plan = plan;
    m_result.acknowledged = 0;
    m_c.view.expectWork(1, int(plan.writes.size()));
    std::optional<ProgressView::Phase> phase;
    int done = 0;
    for (qsizetype i = 0; i < plan.writes.size(); ++i) {
        const PlannedWrite &w = plan.writes[i];
        const bool erasing = takesOut(w);
        const auto wanted = erasing ? ProgressView::Phase::Erasing : ProgressView::Phase::Writing;
        if (phase != wanted) {   // the phase counts the writes of its kind still to come
            phase = wanted;
            done = 0;
            m_c.view.beginPhase(wanted, int(std::count_if(plan.writes.cbegin() + i, plan.writes.cend(),
                                                          [&](const PlannedWrite &p) { return takesOut(p) == erasing; })));
        }
        m_c.state.writeAddress = writeAddressOf(w.slot);
        m_c.view.showRecords(done, m_c.state.writeAddress);
        bool sent = false;
        const RecordOutcome outcome = writeRecord(m_c, w.record, &sent);
        if (outcome == RecordOutcome::Taken) {
            ++done;
            m_result.acknowledged = i + 1;
            (w.purpose == PlannedWrite::Erase ? m_result.slotsErased : m_result.cardsWritten) += 1;
            if (!m_c.clock.stopRequested())
                continue;
            m_result.outcome = SyncResult::Interrupted;
            return false;
        }
        // This reader takes cards only: where a card goes, a listed one is copied instead. One that
        // took an erase before in this sync is no such reader: a refusal among accepted erases is a refusal.
        if (outcome == RecordOutcome::Refused && w.purpose == PlannedWrite::Erase && plan.byLayout
            && !m_request.isRestore() && plan.copySource && m_result.slotsErased == 0) {
            m_cardsOnly = true;
            turnErasesIntoCopies(plan, i);
            m_result.plan = plan;
            --i;
            continue;
        }
        m_result.lastUncertain = sent && mayHaveTaken(outcome);
        switch (outcome) {
        case RecordOutcome::Refused:
            m_result.outcome = w.purpose == PlannedWrite::Erase ? SyncResult::EraseRefused : SyncResult::WriteRefused;
            break;
        case RecordOutcome::Unanswered: m_result.outcome = SyncResult::WriteUnanswered; break;
        case RecordOutcome::LineLost: m_result.outcome = SyncResult::LineLost; break;
        case RecordOutcome::Taken:
        case RecordOutcome::Interrupted: m_result.outcome = SyncResult::Interrupted; break;
        }
        return false;
    }
    return true;
}

// The memory after writing, kept as a snapshot when it can be: a snapshot
// that cannot be kept does not keep the read-back from being compared.
bool SyncRun::readBack(QByteArray &dump, SnapshotReason reason)
{
    SnapshotFile file;
    m_result.afterFault = file.openInFolder(m_request.snapshotFolder);
    if (!read(ProgressView::Phase::Checking, dump)) {
        m_result.allWritten = m_result.outcome == SyncResult::Interrupted;
        return false;
    }
    if (m_result.afterFault == FileFault::None)
        m_result.afterFault = file.keep(dump, m_request.portNumber, reason, m_door, m_c.clock.wallTime());
    if (m_result.afterFault == FileFault::None) {
        m_result.afterSnapshot = file.path();
        m_listener.snapshotKept(m_result.afterSnapshot, reason);
    }
    return true;
}

// A read-back after writing known records to known slots shows the layout, or
// that no rule explains it.
void SyncRun::learnFrom(const SyncPlan &plan, QByteArrayView dump)
{
    QHash<int, DumpRecord> last;   // a slot written twice holds the second record
    for (qsizetype i = 0; i < m_result.acknowledged; ++i)
        last.insert(plan.writes[i].slot, plan.writes[i].record);
    QList<WrittenRecord> written;
    for (auto it = last.cbegin(); it != last.cend(); ++it)
        written.append({it.key(), it.value()});
    m_layout = learnLayout(written, dump);
    if (!m_layout)
        return;
    m_layout->cardsOnly = m_cardsOnly;
    m_result.layoutLearned = true;
}

// The door it is, on its port: all a reader is known by that holds what nobody knows.
KnownReader SyncRun::asDoor() const
{
    KnownReader reader;
    reader.door = m_door;
    reader.port = m_request.portNumber;
    return reader;
}

// What the reader is known by once it holds this memory (kept in snapshot): a sync's
// list when it holds exactly that.
KnownReader SyncRun::knownAs(const QByteArray &memory, const QString &snapshot) const
{
    const bool holdsList = !m_request.isRestore()
        && (m_result.outcome == SyncResult::Done || m_result.outcome == SyncResult::NothingToChange);
    KnownReader reader = asDoor();
    reader.memory = memory;
    reader.snapshot = snapshot;
    reader.layout = m_layout;
    if (holdsList) {
        reader.list = m_request.listPath;
        reader.listHash = m_request.listHash;
    } else if (!m_request.isRestore() && !m_finished) {
        reader.list = m_request.listPath;   // part of it: an older version, needing a sync
    }
    return reader;
}

// The memory read back is this reader's from now on: it is known by it next time.
SyncResult SyncRun::finish(QByteArrayView dump)
{
    m_finished = true;
    m_result.held = validRecords(dump);
    m_result.readBack = compareWithReader(m_wanted, m_result.held);
    // A restore by a layout that held is judged block by block: a snapshot may hold a code twice.
    const bool byBlock = m_request.isRestore() && m_result.plan.byLayout && m_layout;
    const bool same = byBlock ? sameRecords(m_request.snapshot, dump) : m_result.readBack.identical();
    m_result.outcome = same ? SyncResult::Done : SyncResult::Differs;
    m_result.reader = {ReaderChange::Keep, m_before, knownAs(memoryHash(dump), m_result.afterSnapshot), {}};
    return m_result;
}

SyncResult SyncRun::run()
{
    runSteps();
    if (m_finished || !(m_result.written() || m_result.lastUncertain))
        return m_result;
    // Written to and not read back. By a layout that held, what it holds now follows from the writes
    // it took (and, for the one whose fate is unknown, either way): it is known by that next time,
    // with its layout, and the next sync writes only what is left. Otherwise it is nobody's guess.
    if (!m_result.plan.byLayout || !m_layout || m_planBase.isEmpty()) {
        m_result.reader = {ReaderChange::Forget, m_before, asDoor(), {}};
        return m_result;
    }
    const qsizetype taken = m_result.acknowledged;
    m_result.reader = {ReaderChange::Keep, m_before,
                       knownAs(memoryHash(predictedDump(m_planBase, m_result.plan, taken, *m_layout)), QString()), {}};
    if (m_result.lastUncertain && taken < m_result.plan.writes.size())
        m_result.reader.alsoMemory = memoryHash(predictedDump(m_planBase, m_result.plan, taken + 1, *m_layout));
    return m_result;
}

// The first read, and the plan for what it found: a known layout is used
// only on the reader it was learned on, known by its memory.
bool SyncRun::readAndPlan(QByteArray &dump, SyncPlan &plan)
{
    if (!read(ProgressView::Phase::Reading, dump))
        return false;
    m_before = memoryHash(dump);
    const std::optional<KnownReader> known = readerHolding(m_request.knownReaders, dump);
    // Another door's reader, by its memory: said before anything is kept or written. A list may go
    // on as the door it is; a door's snapshot goes back to that door only, so a restore is not asked.
    const DoorOnLine on = doorOnLine(known, m_request.door);
    if (on.other && (!m_request.list || !m_listener.goOnAsDoor(on.door, m_request.door))) {
        m_result.outcome = m_c.clock.stopRequested() ? SyncResult::Interrupted : SyncResult::OtherDoor;
        m_result.otherDoor = on.door;
        return false;
    }
    // A stranger under the name of a door we know by another memory is asked about, never taken over.
    if (!known && !m_request.door.isEmpty() && !m_request.doorMemory.isEmpty() && !m_request.newReader
        && !m_listener.isDoorsReaderNow(m_request.door)) {
        m_result.outcome = m_c.clock.stopRequested() ? SyncResult::Interrupted : SyncResult::ChangedReader;
        return false;
    }
    m_door = on.door;
    m_layout = known ? known->layout : std::nullopt;
    // A layout kept with this memory that no slot of it could have made (edited by hand) is not used.
    if (m_layout && !layoutReaches(*m_layout, dump)) {
        LineTrace::decision(QStringLiteral("the layout kept with this reader puts none of its slots where it holds cards: not used"));
        m_layout.reset();
    }
    m_knownSnapshot = known ? known->snapshot : QString();
    plan = planFor(dump, m_layout);
    m_result.plan = plan;
    return true;
}

// The plan shown, and asked about; the state before kept once the answer is
// yes: a state nothing changed is no state before a change. False when nothing
// is to be written: a dry run, nothing to change, no, or no way back kept.
bool SyncRun::writingGoesAhead(const SyncPlan &plan, const QByteArray &dump, SnapshotFile &beforeFile)
{
    const int repeated = repeatedCodes(m_wanted);
    m_listener.showPlan(plan, repeated);
    if (m_request.dryRun || plan.nothingToDo) {
        m_result.outcome = m_request.dryRun ? SyncResult::Planned : SyncResult::NothingToChange;
        if (!m_request.dryRun)   // it holds what it is to hold: known by it, as the door it is
            m_result.reader = {ReaderChange::Keep, m_before, knownAs(m_before, m_knownSnapshot), {}};
        return false;
    }
    if (!m_listener.approve(plan)) {   // a stop asked during the question is no answer
        m_result.outcome = m_c.clock.stopRequested() ? SyncResult::Interrupted : SyncResult::NotApproved;
        return false;
    }
    const SnapshotReason reason = m_request.isRestore() ? SnapshotReason::BeforeRestore : SnapshotReason::BeforeSync;
    if ((m_result.fileFault = beforeFile.keep(dump, m_request.portNumber, reason, m_door, m_c.clock.wallTime()))
        != FileFault::None) {
        m_result.outcome = SyncResult::SnapshotFailed;
        return false;
    }
    m_result.beforeSnapshot = beforeFile.path();
    m_listener.snapshotKept(m_result.beforeSnapshot, reason);
    return true;
}

// A reader that refused the erased record before any erase was taken: the
// cards written so far may show where it keeps them, and then what goes is
// written over with a listed card instead. The next plan, when there is one.
std::optional<SyncPlan> SyncRun::planForCardsOnly(const SyncPlan &plan, QByteArrayView dump, bool replanned)
{
    m_cardsOnly = true;
    learnFrom(plan, dump);
    if (replanned || !m_layout)
        return std::nullopt;
    return planByLayout(m_wanted, dump, *m_layout);
}

// Whether the read-back is what the layout predicted from the dump the plan
// was made from; when not, the layout is forgotten.
bool SyncRun::layoutHeld(QByteArrayView base, QByteArrayView dump)
{
    if (m_cardsOnly)
        m_layout->cardsOnly = true;
    if (sameRecords(predictedDump(base, m_result.plan, m_result.acknowledged, *m_layout), dump))
        return true;
    m_layout.reset();
    return false;
}

SyncResult SyncRun::runSteps()
{
    if (!judge())
        return m_result;
    m_c.view.expectWork(2, 0);
    SnapshotFile beforeFile;   // opened before the reader is asked: a folder that takes none is known first
    if (!m_request.dryRun && (m_result.fileFault = beforeFile.openInFolder(m_request.snapshotFolder)) != FileFault::None) {
        m_result.outcome = SyncResult::SnapshotFailed;
        return m_result;
    }
    QByteArray dump;
    SyncPlan plan;
    if (!readAndPlan(dump, plan) || !writingGoesAhead(plan, dump, beforeFile))
        return m_result;

    const SnapshotReason after = m_request.isRestore() ? SnapshotReason::AfterRestore : SnapshotReason::AfterSync;
    for (bool replanned = false;; replanned = true) {
        m_result.layoutUsed |= plan.byLayout;
        const QByteArray base = m_planBase = dump;   // what the plan was made from
        const bool wroteAll = write(plan);
        // Only a reader that refused every erase tried takes cards only.
        const bool cardsOnly = !wroteAll && m_result.outcome == SyncResult::EraseRefused && !plan.byLayout
            && m_result.slotsErased == 0;
        if (!wroteAll && !cardsOnly)
            return m_result;
        const SyncResult::Outcome stoppedAs = m_result.outcome;
        if (!readBack(dump, after))
            return m_result;
        if (cardsOnly) {
            const std::optional<SyncPlan> next = planForCardsOnly(plan, dump, replanned);
            if (next && next->writes.isEmpty())   // nothing left to go: what was written is the list
                return finish(dump);
            if (!next) {
                finish(dump);
                m_result.outcome = stoppedAs;
                return m_result;
            }
            plan = *next;
            m_listener.replan(plan, true);
            continue;
        }
        if (!plan.byLayout) {
            learnFrom(plan, dump);
            return finish(dump);
        }
        if (layoutHeld(base, dump) || replanned)
            return finish(dump);
        // The reader does not keep records where the layout says: every slot is written after all.
        plan = planFullSync(m_wanted, dump);
        m_listener.replan(plan, false);
    }
}

} // namespace

ListProblem snapshotProblem(const QByteArray &snapshot)
{
    if (snapshot.size() != DumpLength)
        return ListProblem::Unreadable;
    const QList<DumpRecord> records = validRecords(snapshot);
    if (records.isEmpty())
        return ListProblem::NoCards;
    return eachCodeOnce(records).size() > ReaderCapacity ? ListProblem::TooManyCards : ListProblem::None;
}

SyncResult runSync(Conversation &conversation, const SyncRequest &request, SyncListener &listener)
{
    return SyncRun(conversation, request, listener).run();
}
