// The readers the program has left, as the engine knows them: by the memory
// each held when we last left it, with the layout learned on it and the door
// it is. The store keeps them between runs; the engine is handed them.
#pragma once

#include "transfer/codelist.h"
#include "transfer/layout.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

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

// How a door stands with a list as the list is now. A door holds the list as it was valid on the
// day of its sync: a card whose last day passed since then still opens it until its next sync.
struct DoorStanding {
    enum Holds {
        Unknown,       // a stopped sync or restore left it holding what nobody knows
        NoList,        // a restore left it holding a snapshot
        OtherList,
        ListMissing,   // its list cannot be read now
        OlderList,     // the list changed since its sync
        TheList,
    } holds = Unknown;
    QList<ListedCard> stillOpen;   // TheList: cards expired since its sync, still in its reader
    bool needsSync() const { return holds != TheList || !stillOpen.isEmpty(); }
};
// list: the list at listPath as it is now (its bytes' hash listHash); none when it cannot be read.
DoorStanding doorStanding(const Door &door, const QString &listPath, const QByteArray &listHash, const CodeList *list,
                          const QDate &today);

// A door's name fit for the settings, the terminal and a snapshot's file name:
// not empty, no blank at either end, nothing invisible (controls, format
// characters, line separators), no slash, at most DoorNameMax characters.
constexpr int DoorNameMax = 60;
bool isDoorName(const QString &name);
QByteArray memoryHash(QByteArrayView dump);
// The one of them that held exactly this dump when we last left it.
std::optional<KnownReader> readerHolding(const QList<KnownReader> &known, QByteArrayView dump);

// The door a reader is, by the door named and what it holds: its memory's
// door when it is another's than the one named (other) or none was named and
// the memory names one; else the one named.
struct DoorOnLine {
    QString door;
    bool other = false;   // not the door named
};
DoorOnLine doorOnLine(const std::optional<KnownReader> &known, const QString &named);

// What a sync or a restore leaves known of the reader it worked on; the store
// keeps it (ReaderStore::keep).
struct ReaderChange {
    enum What {
        Nothing,   // not written to, or not read
        Keep,      // read back: known by what it holds now
        Forget,    // written to and not read back: what it holds is nobody's guess
    } what = Nothing;
    QByteArray beforeMemory;   // its memory's hash when the work began
    KnownReader now;     // Keep: what it is known by from now on
    QByteArray alsoMemory;   // Keep after a stop: what it holds if the one write of unknown fate landed
};
