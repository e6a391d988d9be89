// What the command line's commands share: how they speak, the port they
// open, the list they judge, and how they report a reader against a list.
#pragma once

#include "cli/terminalprogress.h"
#include "serial/commport.h"
#include "serial/modwinapi.h"
#include "transfer/clock.h"
#include "transfer/codelist.h"
#include "transfer/readout.h"
#include "transfer/transfer.h"
#include "transfer/verify.h"

#include <QString>

struct Options;

// Plain pauses that end the transfer once the person asked to stop.
class StoppableClock : public SystemClock
{
public:
    bool stopRequested() override;
};

// What a transfer runs on: the port, the state it works on, the clock and the progress line.
struct Transfer {
    Transfer() { state.ReaderAddress = 1; }
    CommPort port;
    WindowState state;
    StoppableClock clock;
    TerminalProgress progress;
};

void say(const QString &text);     // a message, on standard error
void print(const QString &text);   // what was asked for, on standard output

QString stateText(const PortProbe &probe);

// The port to use: the one asked for, or the window's start-up rule (the saved
// port when it is free, else the first free one). Opened for the reader.
int openPort(const Options &options, CommPort &port);

QString lostLine(const QString &outcome, const CommPort &port);

// A dump that did not arrive whole: what the person is told (with a word on
// the file, if any), and the exit status.
int dumpFailed(ReadoutResult::Outcome outcome, const CommPort &port, const QString &fileNote = QString());

// Opens the port and reads the reader's whole memory into dump; the exit
// status, with what went wrong said (and note after it).
int readWholeMemory(const Options &options, Transfer &transfer, QByteArray &dump, const QString &note = QString());

// The list judged before the port is touched. Prints why it cannot be used
// and returns the exit status; the list is kept for what follows.
int judgeList(const QString &path, CodeList &list, bool sends, bool allowEmpty);

// The codes, one a line.
QString codes(const QList<DumpRecord> &records);
// Where the reader differs from a list, as verify reports it.
QString differences(const Comparison &comparison);

// True once the person pressed Ctrl-C, or the terminal or session went.
bool stopRequested();
