#include "cli/support.h"
#include "cli/options.h"
#include "cli/texts.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "sessions/sessions.h"

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

} // namespace

void requestStop()
{
    g_stopRequested = 1;
}

bool stopRequested()
{
    return g_stopRequested != 0;
}

bool StoppableClock::stopRequested()
{
    return ::stopRequested();
}

void say(const QString &text)
{
    fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void print(const QString &text)
{
    fputs(text.toLocal8Bit().constData(), stdout);
}

int openPort(const Options &options, CommPort &port)
{
    int number = options.port.value_or(0);
    // A door remembers its port; the same cable goes from door to door, so --port still decides.
    if (!options.port)
        number = doorPort(options.door);
    if (number == 0) {
        const QStringList free = scanFreePorts();
        if (free.isEmpty()) {
            say(Texts::noFreePort());
            say(Texts::whyNoPortIsFree());
            return ExitPortUnusable;
        }
        number = free.value(startupEntry(free, savedPortName())).toInt();
    }
    if (!port.openReaderLine(number)) {
        say(port.lineLost() ? Texts::lineLost(number)
                            : Texts::portOpenFailed(number, port.devicePath(), port.openFault()));
        const PortProbe probe = probeDevice(port.devicePath());
        if (probe.state == PortState::Held)
            say(Texts::heldBy(probe.holders));
        return ExitPortUnusable;
    }
    port.clearReceiveBuffer();
    return ExitDone;
}

int dumpExitStatus(DumpOutcome outcome)
{
    switch (outcome) {
    case DumpOutcome::Done: return ExitDone;
    case DumpOutcome::NoPort: return ExitPortUnusable;
    case DumpOutcome::Interrupted: return ExitStopped;
    default: return ExitReaderFailed;
    }
}

int dumpFailed(DumpOutcome outcome, const CommPort &port, const QString &note, const QString &repeat)
{
    say(Texts::readFailed(outcome, port.portNumber(), repeat.isEmpty() ? QString() : Texts::repeatCommand(repeat))
        + (note.isEmpty() ? QString() : QLatin1Char(' ') + note));
    return dumpExitStatus(outcome);
}

int readWholeMemory(const Options &options, Transfer &transfer, QByteArray &dump, const QString &note)
{
    if (const int status = openPort(options, transfer.port))
        return status;
    transfer.progress.beginPhase(ProgressView::Phase::Reading);
    const DumpOutcome outcome = memorySession(transfer.conversation, dump);
    transfer.progress.finish();
    return outcome == DumpOutcome::Done ? int(ExitDone) : dumpFailed(outcome, transfer.port, note);
}

int judgeList(const QString &path, CodeList &list, ListUse use)
{
    list = readCodeList(path);
    ListProblem problem = listProblem(list, use, ReaderCapacity);
    // A list without a card is no success for an upload either.
    if (problem == ListProblem::None && use == ListUse::Upload && list.cards.isEmpty())
        problem = ListProblem::NoCards;
    if (problem == ListProblem::None)
        return ExitDone;
    say(Texts::listProblem(path, list, problem, use));
    return ExitFileFailed;
}
