// The upload: every card line of a code list into the reader, one
// acknowledged record at a time, from the top of its memory down.
#pragma once

#include "transfer/codelist.h"
#include "transfer/conversation.h"
#include "transfer/exchange.h"

struct UploadResult {
    enum Outcome {
        Done, Refused, Unanswered, LineLost, NoPort, Noisy, FileFailed, Malformed, TooManyCards, Interrupted,
        NoOpeningTime,   // not 1..127: every record would read as no card
    } outcome = Done;
    int written = 0;              // records the reader acknowledged
    bool lastUncertain = false;   // the one after them went out, and its fate is not known
    DumpRecord failed{};          // the record that was refused or not answered
    qint64 failedLine = 0;        // and its line in the list
};

// Sends the list as it was read: nothing at all unless every card line is
// well-formed and the reader has a place for each. Leaves the progress
// display for the caller to clear after it has told the user the outcome.
UploadResult runUpload(Conversation &conversation, const CodeList &list, int openingTime);
