// The readout: the reader's whole code memory in one block, its valid records
// appended to the code list file.
#pragma once

#include "transfer/codelist.h"
#include "transfer/transfer.h"

class Clock;
class CommPort;

constexpr int ReadoutProgressMaximum = 20500;
// Ten looks a second: the figure still moves smoothly, the end of the dump is
// seen at most 0.1 s late (half a percent of its 21 s), and waiting costs
// next to nothing.
constexpr int ReadoutPollMs = 100;
// A reader that sends nothing new for this long has stopped.
constexpr int ReadoutStallMs = 5000;
// A reader that sends a byte now and then never stalls; a dump that has not
// arrived within three times its wire time (20490 bytes at 9600 8N1) never will.
constexpr int ReadoutLimitMs = 3 * DumpLength * 10 * 1000 / 9600;

struct ReadoutResult {
    enum Outcome { Done, Stalled, LineLost, NoPort, FileFailed, Interrupted } outcome = Done;
    FileFault fileFault = FileFault::None;
    bool newFile = false;   // the readout was to make the file: on failure there is none
    int records = 0;        // card lines appended
};

// Asks the reader for its memory and waits for the whole dump. The outcome is
// Done (with the dump), Stalled (also when it comes too slowly), LineLost,
// NoPort or Interrupted.
ReadoutResult::Outcome readDump(WindowState &state, CommPort &port, Clock &clock, ProgressView &view,
                                QByteArray &dump);

// The readout: the dump's valid records appended to the file, which the caller
// has opened (a file that could not be opened is reported, nothing is sent).
ReadoutResult runReadout(ReadoutFile &file, WindowState &state, CommPort &port, Clock &clock,
                         ProgressView &view);
