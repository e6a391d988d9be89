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
// A reader that sends nothing new for this long has stopped; a slow but
// steady dump is never cut.
constexpr int ReadoutStallMs = 5000;

struct ReadoutResult {
    enum Outcome { Done, Stalled, LineLost, NoPort, FileFailed, Interrupted } outcome = Done;
    FileFault fileFault = FileFault::None;
    int records = 0;   // card lines appended
};

// Asks the reader for its memory and waits for the whole dump. The outcome is
// Done (with the dump), Stalled, LineLost, NoPort or Interrupted.
ReadoutResult::Outcome readDump(WindowState &state, CommPort &port, Clock &clock, ProgressView &view,
                                QByteArray &dump);

// The readout: the dump's valid records appended to the code list file.
ReadoutResult runReadout(const QString &path, WindowState &state, CommPort &port, Clock &clock,
                         ProgressView &view);
