#include "cli/support.h"
#include "cli/commands.h"
#include "serial/portmap.h"
#include "transfer/messages.h"
#include "transfer/upload.h"

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

QString stateText(const PortProbe &probe)
{
    switch (probe.state) {
    case PortState::Free: return QStringLiteral("szabad");
    case PortState::Console: return QStringLiteral("konzol");
    case PortState::NoPermission: return QStringLiteral("nincs jogosultság (dialout csoport)");
    case PortState::Held: {
        QStringList who;
        for (const PortHolder &holder : probe.holders)
            who.append(holder.program.isEmpty() ? QString::number(holder.pid)
                                                : QStringLiteral("%1 %2").arg(holder.pid).arg(holder.program));
        return QStringLiteral("foglalt: ") + who.join(QStringLiteral(", "));
    }
    case PortState::Missing: break;
    }
    return {};
}

int openPort(const Options &options, CommPort &port)
{
    int number = options.port.value_or(0);
    if (!options.port) {
        const QStringList free = scanFreePorts();
        if (free.isEmpty()) {
            say(Texts::noFreePort(anyPortWithoutPermission()));
            say(QStringLiteral("Melyik port miért nem szabad: vivadizuzud-cli ports"));
            return ExitPortUnusable;
        }
        number = free.value(startupEntry(free, savedPortName())).toInt();
    }
    if (!port.openReaderLine(number)) {
        say(port.lineLost() ? Texts::lineLost(number)
                            : Texts::portOpenFailed(number, port.devicePath(), port.openFault()));
        const PortProbe probe = probeDevice(port.devicePath());
        if (probe.state == PortState::Held)
            say(QStringLiteral("Használja: ") + stateText(probe).section(QLatin1String(": "), 1));
        return ExitPortUnusable;
    }
    port.clearReceiveBuffer();
    return ExitDone;
}

QString lostLine(const QString &outcome, const CommPort &port)
{
    return Texts::withLostLine(outcome, Texts::lineLost(port.portNumber()));
}

int dumpFailed(ReadoutResult::Outcome outcome, const CommPort &port, const QString &fileNote)
{
    const QString note = fileNote.isEmpty() ? QString() : QLatin1Char(' ') + fileNote;
    switch (outcome) {
    case ReadoutResult::LineLost: say(lostLine(Texts::TransferError, port) + note); return ExitReaderFailed;
    case ReadoutResult::NoPort: say(Texts::lineLost(port.portNumber())); return ExitPortUnusable;
    case ReadoutResult::Interrupted: say(QStringLiteral("Megszakítva.") + note); return ExitStopped;
    default: say(Texts::TransferError + note); return ExitReaderFailed;
    }
}

int readWholeMemory(const Options &options, Transfer &transfer, QByteArray &dump, const QString &note)
{
    if (const int status = openPort(options, transfer.port))
        return status;
    const ReadoutResult::Outcome outcome =
        readDump(transfer.state, transfer.port, transfer.clock, transfer.progress, dump);
    transfer.progress.finish();
    return outcome == ReadoutResult::Done ? int(ExitDone) : dumpFailed(outcome, transfer.port, note);
}

int judgeList(const QString &path, CodeList &list, bool sends, bool allowEmpty)
{
    list = readCodeList(path, ReaderCapacity);
    QString problem;
    if (list.fault != FileFault::None)
        problem = Texts::codeListUnreadable(path, list.fault);
    else if (list.malformedCount > 0)
        problem = Texts::malformedCardLines(path, list);
    else if (list.codes.size() > ReaderCapacity)
        problem = Texts::tooManyCards(ReaderCapacity);
    else if (list.codes.isEmpty() && !allowEmpty)
        problem = QStringLiteral("A fájlban nincs kártyakód%1.").arg(QStringLiteral(" (%1)").arg(path));
    if (problem.isEmpty())
        return ExitDone;
    say(sends ? problem + QLatin1Char(' ') + Texts::sentSoFar(0) : problem);
    return ExitFileFailed;
}

QString codes(const QList<DumpRecord> &records)
{
    QString text;
    for (const DumpRecord &record : records)
        text += QStringLiteral("  ") + hexCode(record.code) + QLatin1Char('\n');
    return text;
}

QString differences(const Comparison &comparison)
{
    QString report;
    if (!comparison.missing.isEmpty())
        report += QStringLiteral("Hiányzik a kártyaolvasóból (%1):\n").arg(comparison.missing.size())
            + codes(comparison.missing);
    if (!comparison.extra.isEmpty())
        report += QStringLiteral("Többlet a kártyaolvasóban, nincs a fájlban (%1):\n").arg(comparison.extra.size())
            + codes(comparison.extra);
    if (!comparison.otherTime.isEmpty()) {
        report += QStringLiteral("Más nyitási idővel (%1):\n").arg(comparison.otherTime.size());
        for (const TimeChange &change : comparison.otherTime)
            report += QStringLiteral("  %1  %2 (kért: %3)\n").arg(hexCode(change.code)).arg(change.held).arg(change.wanted);
    }
    return report;
}
