// Whether a reader holds what a code list says: compared by code, not by
// position, since where a record sits in the reader's memory is its own business.
#pragma once

#include "serial/frames.h"

#include <QList>

struct Comparison {
    QList<CardCode> missing;         // in the list, not in the reader (list order)
    QList<CardCode> extra;           // in the reader, not in the list (memory order)
    QList<DumpRecord> otherTime;     // in both, held with another opening time
    bool identical() const { return missing.isEmpty() && extra.isEmpty() && otherTime.isEmpty(); }
};

// openingTime 0: the opening times are not compared.
Comparison compareWithReader(const QList<CardCode> &listed, const QList<DumpRecord> &held, int openingTime = 0);
