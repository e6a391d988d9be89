// The upload: every card line of a code list into the reader, one
// acknowledged record at a time, from the top of its memory down.
#pragma once

#include "transfer/codelist.h"
#include "transfer/transfer.h"

class Clock;
class CommPort;

constexpr qint16 FirstWriteAddress = 7392;   // 0x1CE0; records go 7392, 7386, ... 0
constexpr int RecordSpacing = 6;
constexpr int ReaderCapacity = FirstWriteAddress / RecordSpacing + 1;   // 1233 records

constexpr int PauseBeforeRequestMs = 50;
constexpr int AnswerPollMs = 20;
constexpr int PollsPerAttempt = 200;
constexpr int AttemptsPerRecord = 3;

struct UploadResult {
    enum Outcome { Done, Refused, LineLost, NoPort, FileFailed, Malformed, TooManyCards, Interrupted } outcome = Done;
    FileFault fileFault = FileFault::None;
    CodeList list;       // the list as judged before the first record (Malformed: where it is broken)
    int cardLines = 0;   // well-formed card lines, counted up to ReaderCapacity + 1
    int written = 0;     // records the reader acknowledged
};

// Runs with state.UploadBusy already set by the caller; leaves the progress
// display for the caller to clear after it has told the user the outcome.
// Nothing is sent unless every card line of the file is well-formed.
UploadResult runUpload(const QString &path, int openingTime, WindowState &state, CommPort &port,
                       Clock &clock, ProgressView &view);

// One record, sent as the reader is used to: a 50 ms pause, the receive buffer
// emptied, the request at state.WriteAddress (which then goes down by 6), and
// up to three waits for its answer. The request is never repeated.
enum class RecordOutcome { Taken, NotTaken, LineLost };
RecordOutcome writeRecord(const DumpRecord &record, WindowState &state, CommPort &port, Clock &clock);
