// What the command line's commands share: how they speak, the port they
// open, the list they judge, and the conversation with the reader.
#pragma once

#include "cli/terminalprogress.h"
#include "serial/commport.h"
#include "transfer/clock.h"
#include "transfer/codelist.h"
#include "transfer/conversation.h"
#include "transfer/exchange.h"

#include <QString>

struct Options;

// Set from the signal handler when the person presses Ctrl-C (or the terminal
// or the session goes); every transfer's clock then says stop.
void requestStop();

// Plain pauses that end the transfer once the person asked to stop.
class StoppableClock : public SystemClock
{
public:
    bool stopRequested() override;
};

// What a transfer runs on: the port, the requests, the clock and the progress line.
struct Transfer {
    CommPort port;
    RequestState state;
    StoppableClock clock;
    TerminalProgress progress;
    Conversation conversation{port, clock, progress, state};
};

void say(const QString &text);     // a message, on standard error
void print(const QString &text);   // what was asked for, on standard output

// The port to use: the one asked for, the named door's, or the window's
// start-up rule (the saved port when it is free, else the first free one).
// Opened for the reader.
int openPort(const Options &options, CommPort &port);

// The exit status of a read of the memory that did not come whole.
int dumpExitStatus(DumpOutcome outcome);
// A dump that did not arrive whole: what the person is told (with a note
// after it, if any, and for a command that is no readout, the command to
// run again), and the exit status.
int dumpFailed(DumpOutcome outcome, const CommPort &port, const QString &note = QString(),
               const QString &repeat = QString());

// Opens the port and reads the reader's whole memory into dump; the exit
// status, with what went wrong said (and note after it).
int readWholeMemory(const Options &options, Transfer &transfer, QByteArray &dump, const QString &note = QString());

// The list read and judged before the port is touched. Says why it cannot be
// used and returns the exit status.
int judgeList(const QString &path, CodeList &list, ListUse use);

// True once the person pressed Ctrl-C, or the terminal or session went.
bool stopRequested();
