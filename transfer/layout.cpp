#include "transfer/layout.h"

#include <algorithm>

namespace {

bool isCard(const DumpRecord &record)
{
    return record.openingTime >= MinOpeningTime && record.openingTime <= MaxOpeningTime;
}

bool explains(const MemoryLayout &layout, const QList<WrittenRecord> &written, QByteArrayView dump)
{
    for (const WrittenRecord &w : written) {
        const std::optional<DumpRecord> held = dumpBlock(dump, layout.blockOfSlot(w.slot));
        if (isCard(w.record) != held.has_value())
            return false;
        if (held && (held->code != w.record.code || held->openingTime != w.record.openingTime))
            return false;
    }
    return true;
}

} // namespace

int MemoryLayout::blockOfSlot(int slot) const
{
    return (order == TopDown ? slot : ReaderCapacity - 1 - slot) + offset;
}

int MemoryLayout::slotOfBlock(int block) const
{
    const int index = block - offset;
    if (index < 0 || index >= ReaderCapacity)
        return -1;
    return order == TopDown ? index : ReaderCapacity - 1 - index;
}

bool layoutReaches(const MemoryLayout &layout, QByteArrayView dump)
{
    for (int block = 0; block < DumpExaminedBlocks; ++block) {
        if (dumpBlock(dump, block) && layout.slotOfBlock(block) < 0)
            return false;
    }
    return true;
}

std::optional<MemoryLayout> learnLayout(const QList<WrittenRecord> &written, QByteArrayView dump)
{
    if (std::count_if(written.begin(), written.end(), [](const WrittenRecord &w) { return isCard(w.record); }) < 2)
        return std::nullopt;
    std::optional<MemoryLayout> found;
    for (const MemoryLayout::Order order : {MemoryLayout::TopDown, MemoryLayout::BottomUp}) {
        for (int offset = 0; offset <= MaxLayoutOffset; ++offset) {
            MemoryLayout candidate;
            candidate.order = order;
            candidate.offset = offset;
            if (!explains(candidate, written, dump))
                continue;
            if (found)
                return std::nullopt;   // two rules fit: the data does not tell
            found = candidate;
        }
    }
    if (found)
        found->learned = QDateTime::currentDateTimeUtc();
    return found;
}

