// Where the reader keeps what it is given: the dump block each write address
// lands in. The reader does not say, but a full sync writes known records to
// every address and reads the memory back, and that shows it. What is learned
// is a hypothesis: every later sync predicts its read-back from it, and one
// that finds it wrong forgets it.
#pragma once

#include "serial/frames.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <optional>

// Blocks of the dump that some offset could put before the first address's.
constexpr int MaxLayoutOffset = DumpExaminedBlocks - ReaderCapacity;   // 132

struct MemoryLayout {
    // TopDown: address 7392 in the first block used, 7386 in the next...
    // BottomUp: address 0 first.
    enum Order { TopDown, BottomUp } order = TopDown;
    int offset = 0;            // blocks before the first one an address reaches
    bool cardsOnly = false;    // the reader refuses the erased record
    QDateTime learned;         // UTC

    int blockOfSlot(int slot) const;   // slot k is write address 7392 - 6k
    int slotOfBlock(int block) const;  // -1: no address reaches it
};

// Whether every card in the dump stands in a block some slot reaches by the layout: a rule that
// puts the reader's own cards out of every slot's reach was never learned on it.
bool layoutReaches(const MemoryLayout &layout, QByteArrayView dump);

struct WrittenRecord {
    int slot;
    DumpRecord record;   // a card, or a record that is no card (the erased one)
};

// The one rule under which a read-back shows every written card in the block
// of its address, and no valid record where a record that is no card went.
// Nothing when fewer than two cards were written, or when no rule, or more
// than one, explains them all.
std::optional<MemoryLayout> learnLayout(const QList<WrittenRecord> &written, QByteArrayView dump);
