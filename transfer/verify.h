// Whether a reader holds what a list says: compared by code, not by position,
// since where a record sits in the reader's memory is its own business. The
// same comparison, made before a sync, is its plan.
#pragma once

#include "serial/frames.h"
#include "transfer/codelist.h"
#include "transfer/exchange.h"

#include <QList>
#include <optional>

struct TimeChange {
    CardCode code;
    int held;     // the opening time in the reader
    int wanted;   // the one the list asks for
};

struct Comparison {
    QList<DumpRecord> missing;       // in the list, not in the reader (list order)
    QList<DumpRecord> extra;         // in the reader, not in the list (memory order)
    QList<TimeChange> otherTime;     // in both, held with another opening time
    int same = 0;                    // in both, as the list wants them
    bool identical() const { return missing.isEmpty() && extra.isEmpty() && otherTime.isEmpty(); }
};

// listed: what the reader should hold, a code listed twice counting once; a
// record's opening time of 0 means any time will do.
Comparison compareWithReader(const QList<DumpRecord> &listed, const QList<DumpRecord> &held);

// Each code once, at its first place; duplicates, when given, counts the rest.
QList<DumpRecord> eachCodeOnce(const QList<DumpRecord> &records, int *duplicates = nullptr);

// The codes of a list, each with the same opening time (0: any).
QList<DumpRecord> withOpeningTime(const QList<CardCode> &codes, int openingTime);

struct VerifyResult {
    ListProblem problem = ListProblem::None;       // the list is not fit to be checked: nothing was read
    DumpOutcome dumpOutcome = DumpOutcome::Done;
    QList<DumpRecord> listed;                      // what the reader should hold: unexpired cards, each once
    QList<DumpRecord> held;                        // what it holds, in memory order
    Comparison comparison;
    QList<DumpRecord> expiredHeld;                 // of comparison.extra, the list's cards past their last day
    bool done() const { return problem == ListProblem::None && dumpOutcome == DumpOutcome::Done; }
};

// The reader read and compared with the list's cards that have not expired,
// with this opening time (none: any will do); known as readDump takes it.
VerifyResult runVerify(Conversation &conversation, const CodeList &list, std::optional<int> openingTime,
                       const QList<KnownReader> &known);
