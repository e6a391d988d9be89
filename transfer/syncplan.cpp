#include "transfer/syncplan.h"

#include <QHash>
#include <QSet>
#include <algorithm>

namespace {

QHash<quint64, DumpRecord> byCode(const QList<DumpRecord> &records)
{
    QHash<quint64, DumpRecord> map;
    for (const DumpRecord &record : records)
        map.insert(codeKey(record.code), record);
    return map;
}

// The six bytes of a block that say which card it holds, and with which time.
QByteArrayView cardBytes(QByteArrayView dump, int block)
{
    return dump.sliced(qsizetype(block) * DumpBlockLength + 1, 6);
}

DumpRecord recordOf(QByteArrayView bytes)
{
    DumpRecord record{};
    for (int i = 0; i < 5; ++i)
        record.code[i] = quint8(bytes[i]);
    record.openingTime = quint8(bytes[5]);
    return record;
}

// The card six such bytes hold, if they hold one.
std::optional<DumpRecord> cardIn(QByteArrayView bytes)
{
    const DumpRecord record = recordOf(bytes);
    if (record.openingTime < MinOpeningTime || record.openingTime > MaxOpeningTime)
        return std::nullopt;
    return record;
}

bool operator==(const DumpRecord &a, const DumpRecord &b)
{
    return a.code == b.code && a.openingTime == b.openingTime;
}

// The slot each listed card the reader holds stays in: one with the right
// time if there is one.
QHash<quint64, int> keeperSlots(const QList<std::optional<DumpRecord>> &inSlot,
                                const QHash<quint64, DumpRecord> &wantedByCode)
{
    QHash<quint64, int> keeper;
    for (const bool rightTimeOnly : {true, false}) {
        for (int slot = 0; slot < int(inSlot.size()); ++slot) {
            if (!inSlot[slot])
                continue;
            const quint64 key = codeKey(inSlot[slot]->code);
            const auto target = wantedByCode.constFind(key);
            if (target == wantedByCode.cend() || keeper.contains(key))
                continue;
            if (!rightTimeOnly || target->openingTime == inSlot[slot]->openingTime)
                keeper.insert(key, slot);
        }
    }
    return keeper;
}

} // namespace

int SyncPlan::copies() const
{
    return int(std::count_if(writes.begin(), writes.end(), [](const PlannedWrite &w) { return w.purpose == PlannedWrite::Copy; }));
}

SyncPlan planFullSync(const QList<DumpRecord> &wanted, QByteArrayView dump)
{
    SyncPlan plan;
    const QList<DumpRecord> held = validRecords(dump);
    const QList<DumpRecord> once = eachCodeOnce(wanted);
    plan.comparison = compareWithReader(once, held);
    plan.nothingToDo = plan.comparison.identical();
    const QHash<quint64, DumpRecord> wantedByCode = byCode(once);
    QSet<quint64> placed;
    int slot = 0;
    for (const DumpRecord &record : held) {
        const quint64 key = codeKey(record.code);
        const auto target = wantedByCode.constFind(key);
        if (target == wantedByCode.cend() || placed.contains(key))
            continue;
        placed.insert(key);
        const bool sameTime = target->openingTime == 0 || target->openingTime == record.openingTime;
        plan.writes.append({sameTime ? PlannedWrite::Rewrite : PlannedWrite::Retime, slot++, *target, std::nullopt, std::nullopt});
    }
    for (const DumpRecord &record : once) {
        if (!placed.contains(codeKey(record.code)))
            plan.writes.append({PlannedWrite::Add, slot++, record, std::nullopt, std::nullopt});
    }
    while (slot < ReaderCapacity)
        plan.writes.append({PlannedWrite::Erase, slot++, ErasedRecord, std::nullopt, std::nullopt});
    return plan;
}

std::optional<SyncPlan> planByLayout(const QList<DumpRecord> &wanted, QByteArrayView dump, const MemoryLayout &layout)
{
    SyncPlan plan;
    plan.byLayout = true;
    const QList<DumpRecord> once = eachCodeOnce(wanted);
    plan.comparison = compareWithReader(once, validRecords(dump));
    plan.nothingToDo = plan.comparison.identical();
    const QHash<quint64, DumpRecord> wantedByCode = byCode(once);
    QList<std::optional<DumpRecord>> inSlot;
    for (int slot = 0; slot < ReaderCapacity; ++slot)
        inSlot.append(dumpBlock(dump, layout.blockOfSlot(slot)));
    QHash<quint64, int> keeper = keeperSlots(inSlot, wantedByCode);
    // A card where no address reaches stays whatever is written: it is named,
    // and a listed one held nowhere else needs no slot of its own.
    for (int block = 0; block < DumpExaminedBlocks; ++block) {
        const auto record = layout.slotOfBlock(block) < 0 ? dumpBlock(dump, block) : std::nullopt;
        if (!record)
            continue;
        if (!wantedByCode.contains(codeKey(record->code)))
            plan.unreachable.append(*record);
        else if (!keeper.contains(codeKey(record->code)))
            keeper.insert(codeKey(record->code), -1);
    }
    QList<int> toGo, free;
    for (int slot = 0; slot < ReaderCapacity; ++slot) {
        if (!inSlot[slot])
            free.append(slot);
        else if (keeper.value(codeKey(inSlot[slot]->code), -1) != slot)
            toGo.append(slot);
    }
    for (int slot = 0; slot < ReaderCapacity && !plan.copySource; ++slot) {
        if (inSlot[slot] && keeper.value(codeKey(inSlot[slot]->code), -1) == slot)
            plan.copySource = wantedByCode[codeKey(inSlot[slot]->code)];
    }
    // One write into a slot that goes both adds and removes.
    for (const DumpRecord &record : once) {
        if (!plan.copySource && !keeper.contains(codeKey(record.code)))
            plan.copySource = record;
        if (keeper.contains(codeKey(record.code)))
            continue;
        if (!toGo.isEmpty()) {
            const int slot = toGo.takeFirst();
            plan.writes.append({PlannedWrite::Replace, slot, record, inSlot[slot], std::nullopt});
        } else {
            plan.writes.append({PlannedWrite::Add, free.takeFirst(), record, std::nullopt, std::nullopt});
        }
    }
    for (const int slot : toGo) {
        // A reader that takes cards only keeps a copy of a listed card where
        // one went; a slot that already holds one is left as it is.
        const auto listed = wantedByCode.constFind(codeKey(inSlot[slot]->code));
        if (layout.cardsOnly && listed != wantedByCode.cend() && listed->openingTime == inSlot[slot]->openingTime)
            continue;
        plan.writes.append({PlannedWrite::Erase, slot, ErasedRecord, inSlot[slot], std::nullopt});
    }
    if (layout.cardsOnly)
        turnErasesIntoCopies(plan, 0);
    for (int slot = 0; slot < ReaderCapacity; ++slot) {
        if (!inSlot[slot] || keeper.value(codeKey(inSlot[slot]->code), -1) != slot)
            continue;
        const DumpRecord &target = wantedByCode[codeKey(inSlot[slot]->code)];
        if (target.openingTime != 0 && target.openingTime != inSlot[slot]->openingTime)
            plan.writes.append({PlannedWrite::Retime, slot, target, std::nullopt, std::nullopt});
    }
    return plan;
}

std::optional<SyncPlan> planRestoreByLayout(QByteArrayView snapshot, QByteArrayView dump, const MemoryLayout &layout)
{
    for (int block = 0; block < DumpExaminedBlocks; ++block) {
        if (layout.slotOfBlock(block) < 0 && (dumpBlock(dump, block) || dumpBlock(snapshot, block))
            && cardBytes(dump, block) != cardBytes(snapshot, block))
            return std::nullopt;
    }
    SyncPlan plan;
    plan.byLayout = true;
    plan.comparison = compareWithReader(eachCodeOnce(validRecords(snapshot)), validRecords(dump));

    // What each slot holds now and is to hold, and how many copies of each card the reader holds now.
    QList<QByteArray> now, wanted;
    QList<int> cardsFirst, erases;   // the slots that change: cards in first, erases last
    for (int slot = 0; slot < ReaderCapacity; ++slot) {
        now.append(cardBytes(dump, layout.blockOfSlot(slot)).toByteArray());
        wanted.append(cardBytes(snapshot, layout.blockOfSlot(slot)).toByteArray());
        if (now[slot] != wanted[slot])
            (cardIn(wanted[slot]) ? cardsFirst : erases).append(slot);
    }
    QList<int> pending = cardsFirst + erases;
    QHash<quint64, int> copies;
    for (const DumpRecord &record : validRecords(dump))
        ++copies[codeKey(record.code)];
    QSet<quint64> needed;
    for (const DumpRecord &record : validRecords(snapshot))
        needed.insert(codeKey(record.code));
    // The card in a slot that no other slot holds, when the snapshot has it.
    const auto onlyCopy = [&](int slot) -> std::optional<DumpRecord> {
        const std::optional<DumpRecord> card = cardIn(now[slot]);
        if (card && needed.contains(codeKey(card->code)) && copies.value(codeKey(card->code)) == 1)
            return card;
        return std::nullopt;
    };
    const auto write = [&](int slot, const QByteArray &bytes, std::optional<PlannedWrite::Purpose> purpose = {}) {
        const std::optional<DumpRecord> was = cardIn(now[slot]), comes = cardIn(bytes);
        const bool sameCard = was && comes && was->code == comes->code;
        PlannedWrite w{purpose.value_or(!comes ? PlannedWrite::Erase
                                        : !was ? PlannedWrite::Add
                                        : sameCard ? PlannedWrite::Retime : PlannedWrite::Replace),
                       slot, recordOf(bytes), std::nullopt, std::nullopt};
        if (was && !sameCard) {
            if (!needed.contains(codeKey(was->code)))
                w.held = was;
            else if (onlyCopy(slot))
                w.outForAWhile = was;
            --copies[codeKey(was->code)];
        }
        if (comes && !sameCard)
            ++copies[codeKey(comes->code)];
        now[slot] = bytes;
        plan.writes.append(w);
    };
    const auto waits = [&](int slot) {
        const std::optional<DumpRecord> card = onlyCopy(slot), comes = cardIn(wanted[slot]);
        return card && !(comes && comes->code == card->code);
    };
    // A slot is written once the card it holds is held elsewhere too, or is not
    // the snapshot's. Where every slot left waits for another, one card of the
    // cycle is copied into a slot that is to be free, erased again at the end.
    while (!pending.isEmpty()) {
        bool wrote = false;
        for (qsizetype i = 0; i < pending.size();) {
            if (waits(pending[i])) {
                ++i;
                continue;
            }
            write(pending[i], wanted[pending[i]]);
            pending.removeAt(i);
            wrote = true;
        }
        if (wrote)
            continue;
        int spare = -1;
        for (int slot = 0; slot < ReaderCapacity && spare < 0; ++slot) {
            if (now[slot] == wanted[slot] && !cardIn(wanted[slot]))
                spare = slot;
        }
        if (spare < 0) {   // no free slot: the rest in order, and what a stop could cost is said first
            for (const int slot : std::as_const(pending))
                write(slot, wanted[slot]);
            break;
        }
        write(spare, now[pending.first()], PlannedWrite::Move);
        pending.append(spare);
    }
    plan.outForAWhile = int(std::count_if(plan.writes.cbegin(), plan.writes.cend(),
                                          [](const PlannedWrite &w) { return w.outForAWhile.has_value(); }));
    plan.nothingToDo = plan.writes.isEmpty();
    return plan;
}

void turnErasesIntoCopies(SyncPlan &plan, qsizetype from)
{
    if (!plan.copySource)
        return;
    for (qsizetype i = from; i < plan.writes.size(); ++i) {
        if (plan.writes[i].purpose == PlannedWrite::Erase) {
            plan.writes[i].purpose = PlannedWrite::Copy;
            plan.writes[i].record = *plan.copySource;
        }
    }
}

QByteArray predictedDump(QByteArrayView dump, const SyncPlan &plan, qsizetype count, const MemoryLayout &layout)
{
    QByteArray predicted = dump.toByteArray();
    for (qsizetype i = 0; i < count && i < plan.writes.size(); ++i) {
        const PlannedWrite &w = plan.writes[i];
        const qsizetype at = qsizetype(layout.blockOfSlot(w.slot)) * DumpBlockLength + 1;
        for (int b = 0; b < 5; ++b)
            predicted[at + b] = char(w.record.code[b]);
        predicted[at + 5] = char(w.record.openingTime);
    }
    return predicted;
}

bool sameRecords(QByteArrayView a, QByteArrayView b)
{
    for (int block = 0; block < DumpExaminedBlocks; ++block) {
        const std::optional<DumpRecord> x = dumpBlock(a, block), y = dumpBlock(b, block);
        if (x.has_value() != y.has_value() || (x && !(*x == *y)))
            return false;
    }
    return true;
}

StopReport stopReport(const SyncPlan &plan, qsizetype acknowledged)
{
    StopReport report;
    for (qsizetype i = acknowledged; i < plan.writes.size(); ++i) {
        const PlannedWrite &w = plan.writes[i];
        switch (w.purpose) {
        case PlannedWrite::Rewrite:
        case PlannedWrite::Retime:
            // Without a layout, a card not yet written again may have been written over.
            if (!plan.byLayout)
                report.mayBeMissing.append(w.record);
            break;
        case PlannedWrite::Add:
        case PlannedWrite::Replace:
            report.notYetIn.append(w.record);
            break;
        case PlannedWrite::Erase:
        case PlannedWrite::Copy:
        case PlannedWrite::Move:
            break;
        }
        if (plan.byLayout && w.held && w.purpose != PlannedWrite::Retime && w.purpose != PlannedWrite::Add)
            report.mayRemain.append(*w.held);
    }
    // A card taken out on the way, and not yet written where it goes (nor its copy erased).
    QHash<quint64, DumpRecord> out;
    for (qsizetype i = 0; i < acknowledged && i < plan.writes.size(); ++i) {
        out.remove(codeKey(plan.writes[i].record.code));
        if (const auto &card = plan.writes[i].outForAWhile)
            out.insert(codeKey(card->code), *card);
    }
    report.mayBeMissing += out.values();
    // Without a layout, where a card that goes sits is not known: any of them may be left.
    if (!plan.byLayout && acknowledged < plan.writes.size())
        report.mayRemain = plan.comparison.extra;
    return report;
}
