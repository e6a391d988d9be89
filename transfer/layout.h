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

struct WrittenRecord {
    int slot;
    DumpRecord record;   // a card, or a record that is no card (the erased one)
};

// The one rule under which a read-back shows every written card in the block
// of its address, and no valid record where a record that is no card went.
// Nothing when fewer than two cards were written, or when no rule, or more
// than one, explains them all.
std::optional<MemoryLayout> learnLayout(const QList<WrittenRecord> &written, QByteArrayView dump);

// A reader the program has synced or restored. Readers have no name on the
// line: one is known by the memory it held after that (a hash of the dump),
// and its layout is used only on a reader that holds exactly that memory:
// another door's reader holds the same 20490 bytes only when the same cards
// stand in the same blocks, and a full sync writes two readers alike only
// when they place records alike.
struct KnownReader {
    QByteArray memory;                    // SHA-256 of the dump after our last sync or restore
    QString snapshot;                     // where that dump is kept; empty when it could not be
    std::optional<MemoryLayout> layout;   // none learned yet
    QString list;                         // the list a sync left it holding (its full path); empty after a restore
    QString door;                         // the name the person gave it; empty: none
    int port = 0;                         // the port it was on
    QByteArray listHash;                  // SHA-256 of that list's bytes as they were synced
    // The doors we last left holding exactly this memory: one, or more only where two readers
    // were written alike (then the memory does not tell which door is on the line).
    QStringList doors;
};

// A reader the person named ("Főbejárat"): its port, and what it last held.
struct Door {
    QString name;
    int port = 0;
    QByteArray memory;      // the memory we left it holding; empty: written to since and not read back
    QString list;           // the list a sync left it holding; empty: none (a restore, or never)
    QByteArray listHash;    // that list's bytes as they were synced
    QDateTime synced;       // when (UTC)
    bool layoutKnown = false;
    QString snapshot;       // where the memory we left it holding is kept; empty: nowhere
};
QList<Door> doors();
// A door's name fit for the settings, the terminal and a snapshot's file name:
// not empty, no control character, no slash, at most DoorNameMax characters.
constexpr int DoorNameMax = 60;
bool isDoorName(const QString &name);
QByteArray memoryHash(QByteArrayView dump);
// The readers this program has left, as the person's settings keep them.
QList<KnownReader> knownReaders();
// The one of them that held exactly this dump when we last left it.
std::optional<KnownReader> readerHolding(const QList<KnownReader> &known, QByteArrayView dump);
std::optional<KnownReader> recognisedReader(QByteArrayView dump);   // among knownReaders()

// The door a reader is, by the door named and what it holds: its memory's
// door when it is another's than the one named (other) or none was named and
// the memory names one; else the one named.
struct DoorOnLine {
    QString door;
    bool other = false;   // not the door named
};
DoorOnLine doorOnLine(const std::optional<KnownReader> &known, const QString &named);

// What a sync or a restore leaves known of the reader it worked on; the front
// end keeps it with keepReaderChange.
struct ReaderChange {
    enum What {
        Nothing,   // not written to, or not read
        Keep,      // read back: known by what it holds now
        Forget,    // written to and not read back: what it holds is nobody's guess
    } what = Nothing;
    QByteArray before;   // its memory's hash when the work began
    KnownReader now;     // Keep: what it is known by from now on
};
void keepReaderChange(const ReaderChange &change);
// The reader that held the memory before (empty: not known) holds what reader says now.
void keepReader(const QByteArray &before, const KnownReader &reader);
// Its memory is no longer known (a sync stopped on the way): it is a stranger next time.
void forgetReader(const QByteArray &memory);
// When a sync last left a reader holding the list at this path (invalid: never).
QDateTime lastSyncOf(const QString &listPath);
