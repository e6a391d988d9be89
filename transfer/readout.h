// The readout: the reader's whole code memory in one block, its valid records
// appended to the code list file.
#pragma once

#include "transfer/codelist.h"
#include "transfer/conversation.h"
#include "transfer/exchange.h"

constexpr int ReadoutProgressMaximum = 20500;

struct ReadoutResult {
    DumpOutcome dump = DumpOutcome::Done;    // how the dump went
    FileFault fileFault = FileFault::None;   // the file could not be opened or written
    bool newFile = false;   // the readout was to make the file: on failure there is none
    int records = 0;        // card lines appended
    bool done() const { return dump == DumpOutcome::Done && fileFault == FileFault::None; }
};

// The readout: the dump's valid records appended to the file, which the caller
// has opened (a file that could not be opened is reported, nothing is sent).
// known: the readers we left holding a memory, as readDump takes them.
ReadoutResult runReadout(Conversation &conversation, ReadoutFile &file, const QList<KnownReader> &known);

// A dump's valid codes appended to an open file, in the dump's order, as a
// readout writes them; appended says how many.
FileFault appendCodesOf(QByteArrayView dump, ReadoutFile &file, int &appended);
