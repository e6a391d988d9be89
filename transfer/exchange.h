// The reader's two exchanges as the line carries them: one record written and
// answered, and the whole memory read. A reader that has begun a dump sends
// all of it whether or not anybody still listens, so a request goes out only
// on a quiet line, and a dump followed by more bytes is not trusted as it is.
#pragma once

#include "transfer/conversation.h"
#include "transfer/pace.h"

#include <QByteArray>
#include <QList>

struct KnownReader;

enum class DumpOutcome {
    Done,
    Stalled,       // the dump stopped coming, or came too slowly
    Noisy,         // the line never went quiet: nothing was asked
    Unsteady,      // more came after the dump, and the next read said something else, or the dump's
                   // blocks did not tell whether the bytes after it were stray ones before it
    LineLost,
    NoPort,
    Interrupted,
};

// Reads what still arrives and drops it, until nothing has come for quietMs.
DumpOutcome waitForQuiet(Conversation &conversation, int quietMs = QuietMs);

// Asks for the whole memory on a quiet line and waits for it. A byte that
// comes within the quiet time after the dump means it did not start where it
// should, and more blocks that are neither a record nor erased than this
// line's reader has shown before mean it may not have: it is read once more,
// and only two reads that agree byte for byte are taken. The quiet time is
// longer than the longest pause the reader made inside a dump on this line. A
// memory we left one of the known readers holding is no splice, whatever its blocks.
DumpOutcome readDump(Conversation &conversation, QByteArray &dump, const QList<KnownReader> &known);

enum class RecordOutcome {
    Taken,
    Refused,       // the reader answered no
    Unanswered,    // no answer of the right length: whether it took the record is not known
    LineLost,
    Interrupted,   // stopped while waiting for the answer
};
// Whether the reader may hold the record although it was not acknowledged.
constexpr bool mayHaveTaken(RecordOutcome outcome)
{
    return outcome == RecordOutcome::Unanswered || outcome == RecordOutcome::LineLost
        || outcome == RecordOutcome::Interrupted;
}

// One record, sent as the reader is used to: a 50 ms pause, the receive buffer
// emptied, the request at the write address (which then goes down by 6), and up to
// three waits for its answer. The request is never repeated. A line that lost
// the request on its way out gives LineLost with sent false.
RecordOutcome writeRecord(Conversation &conversation, const DumpRecord &record, bool *sent = nullptr);
