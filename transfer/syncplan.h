// What a sync or a restore writes, slot by slot, and what it expects to read
// back. Without a known layout every slot is written; with one, only the
// slots that change, and never one that holds a listed card with another code.
#pragma once

#include "transfer/layout.h"
#include "transfer/verify.h"

#include <QByteArray>
#include <QList>
#include <optional>

// What an erased slot reads: no card, so a readout passes it over.
constexpr DumpRecord ErasedRecord{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFF};

struct PlannedWrite {
    enum Purpose {
        Rewrite,   // a card the reader holds, written again in its place in the list (no layout)
        Retime,    // a card the reader holds, with the time it is to have
        Add,       // a new card into a free slot
        Replace,   // a new card into the slot of a card that goes
        Erase,     // the slot of a card that goes, erased
        Copy,      // the slot of a card that goes, given a copy of a listed card (the reader refuses to erase)
        Move,      // a card copied into a free slot for a while, so that its own slot can be written
    } purpose;
    int slot;                          // write address 7392 - 6 * slot
    DumpRecord record;                 // what goes there
    std::optional<DumpRecord> held;    // the card the slot held, when it goes (layout plans)
    // A card that is to stay, taken out here while no other slot holds it, until it is written where it goes.
    std::optional<DumpRecord> outForAWhile;
};

struct SyncPlan {
    Comparison comparison;           // the reader against what it is to hold, by code
    bool byLayout = false;
    bool nothingToDo = false;
    QList<PlannedWrite> writes;      // in the order they are sent
    QList<DumpRecord> unreachable;   // cards to go, in blocks no write address reaches
    std::optional<DumpRecord> copySource;   // a listed card the reader will hold, to copy where one goes
    int outForAWhile = 0;            // writes that take out a card to stay: no free slot to move it through
    int copies() const;
};

// Every slot, from the top: the cards the reader holds that stay, in the order
// it holds them (a reader that keeps records in write order never loses one on
// the way), then the new ones, then the erased record down to address 0.
SyncPlan planFullSync(const QList<DumpRecord> &wanted, QByteArrayView dump);

// Only what changes, by the layout: new cards first into the slots of cards
// that go, then into free slots; cards with another time rewritten in their
// own slots; the slots of cards still to go erased (or, for a reader that
// refuses that, given a copy of a listed card). A card in a block no address
// reaches is left where it is, and named in unreachable.
std::optional<SyncPlan> planByLayout(const QList<DumpRecord> &wanted, QByteArrayView dump, const MemoryLayout &layout);

// Every slot the layout reaches made to read as in the snapshot, writing only
// those that differ, erases last. No card of the snapshot is written over while
// it is its only copy: it goes to its own slot first, or through a free slot.
// Nothing when the two differ in a block no address reaches.
std::optional<SyncPlan> planRestoreByLayout(QByteArrayView snapshot, QByteArrayView dump, const MemoryLayout &layout);

// The slots of cards that go, from index on, given a copy of a listed card.
void turnErasesIntoCopies(SyncPlan &plan, qsizetype from);

// The dump as the layout says it reads after the first count writes.
QByteArray predictedDump(QByteArrayView dump, const SyncPlan &plan, qsizetype count, const MemoryLayout &layout);
// Whether two dumps hold the same records in the same blocks.
bool sameRecords(QByteArrayView a, QByteArrayView b);

// What a sync stopped before its end may have left: listed cards that may be
// gone, new cards not surely in, and cards to go that may still be there.
struct StopReport {
    QList<DumpRecord> mayBeMissing;
    QList<DumpRecord> notYetIn;
    QList<DumpRecord> mayRemain;
};
StopReport stopReport(const SyncPlan &plan, qsizetype acknowledged);
