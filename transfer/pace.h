// The pace of the reader's line, and how long each wait on it may take.
#pragma once

#include "serial/frames.h"

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
