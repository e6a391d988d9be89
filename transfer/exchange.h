// The reader's two exchanges as the line carries them: one record written and
// answered, and the whole memory read. A reader that has begun a dump sends
// all of it whether or not anybody still listens, so a request goes out only
// on a quiet line, and a dump followed by more bytes is not trusted as it is.
#pragma once

#include "transfer/conversation.h"

#include <QByteArray>

// Nothing for this long: the reader has said all it had to say.
constexpr int QuietMs = 100;
// Longer than a whole dump takes (21 s): a line still talking by then never stops.
constexpr int QuietLimitMs = 25000;
constexpr int QuietPollMs = 20;

constexpr int PauseBeforeRequestMs = 50;
constexpr int AnswerPollMs = 20;
constexpr int PollsPerAttempt = 200;
constexpr int AttemptsPerRecord = 3;
// How long a record may go unanswered, all attempts together.
constexpr int RecordAnswerLimitMs = AnswerPollMs * PollsPerAttempt * AttemptsPerRecord;

// Ten looks a second: the figure still moves smoothly, the end of the dump is
// seen at most 0.1 s late (half a percent of its 21 s), and waiting costs
// next to nothing.
constexpr int ReadoutPollMs = 100;
// A reader that sends nothing new for this long has stopped.
constexpr int ReadoutStallMs = 5000;
// A reader that sends a byte now and then never stalls; a dump that has not
// arrived within three times its wire time (20490 bytes at 9600 8N1) never will.
constexpr int ReadoutLimitMs = 3 * DumpLength * 10 * 1000 / 9600;

// What each part of a transfer takes at the line's pace, whatever the machine:
// a byte at 9600 8N1, the whole dump, and a record (its pause, then the first
// answer poll after the reader's 5 ms and the answer's 15 bytes).
constexpr double ByteSeconds = 10.0 / 9600;
constexpr double DumpSeconds = DumpLength * ByteSeconds;
constexpr double RecordSeconds = 0.090;
// The dump's time in whole seconds, as people are told it.
constexpr int DumpWholeSeconds = int(DumpSeconds + 0.5);

enum class DumpOutcome {
    Done,
    Stalled,       // the dump stopped coming, or came too slowly
    Noisy,         // the line never went quiet: nothing was asked
    Unsteady,      // more came after the dump, and the next read said something else
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
// longer than the longest pause the reader made inside a dump on this line.
DumpOutcome readDump(Conversation &conversation, QByteArray &dump);

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
