#include "cli/commands.h"
#include "cli/terminalprogress.h"
#include "serial/commport.h"
#include "serial/deviceinfo.h"
#include "serial/modwinapi.h"
#include "serial/portmap.h"
#include "transfer/clock.h"
#include "transfer/messages.h"
#include "transfer/readout.h"
#include "transfer/upload.h"
#include "transfer/verify.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

// Plain pauses that end the transfer once the person asked to stop.
class StoppableClock : public SystemClock
{
public:
    bool stopRequested() override { return g_stopRequested != 0; }
};

// What a transfer runs on: the port, the state it works on, the clock and the progress line.
struct Transfer {
    Transfer() { state.ReaderAddress = 1; }
    CommPort port;
    WindowState state;
    StoppableClock clock;
    TerminalProgress progress;
};

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

const char *stateKey(PortState state)
{
    switch (state) {
    case PortState::Free: return "free";
    case PortState::Held: return "busy";
    case PortState::NoPermission: return "no-permission";
    case PortState::Console: return "console";
    case PortState::Missing: break;
    }
    return "missing";
}

QString hexId(std::optional<quint16> id)
{
    return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QString();
}

QJsonValue orNull(const QString &text)
{
    return text.isNull() ? QJsonValue() : QJsonValue(text);
}

QString describe(const DeviceIdentity &identity)
{
    QStringList parts;
    if (identity.vendorId && identity.productId)
        parts.append(hexId(identity.vendorId) + QLatin1Char(':') + hexId(identity.productId));
    for (const QString &text : {identity.manufacturer, identity.product})
        if (!text.isEmpty())
            parts.append(text);
    if (!identity.serialNumber.isEmpty())
        parts.append(QStringLiteral("(%1)").arg(identity.serialNumber));
    return parts.join(QLatin1Char(' '));
}

// The port to use: the one asked for, or the window's start-up rule (the saved
// port when it is free, else the first free one). Opened for the reader.
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

// A dump that did not arrive whole: what the person is told (with a word on
// the file, if any), and the exit status.
int dumpFailed(ReadoutResult::Outcome outcome, const CommPort &port, const QString &fileNote = QString())
{
    const QString note = fileNote.isEmpty() ? QString() : QLatin1Char(' ') + fileNote;
    switch (outcome) {
    case ReadoutResult::LineLost: say(lostLine(Texts::TransferError, port) + note); return ExitReaderFailed;
    case ReadoutResult::NoPort: say(Texts::lineLost(port.portNumber())); return ExitPortUnusable;
    case ReadoutResult::Interrupted: say(QStringLiteral("Megszakítva.") + note); return ExitStopped;
    default: say(Texts::TransferError + note); return ExitReaderFailed;
    }
}

// The list judged before the port is touched. Prints why it cannot be used
// and returns the exit status; the list is kept for what follows.
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

QString accepted(int written)
{
    return QStringLiteral("A kártyaolvasó %1 kódot fogadott el ebből a fájlból.").arg(written);
}

QString codes(const QList<CardCode> &list)
{
    QString text;
    for (const CardCode &code : list)
        text += QStringLiteral("  ") + hexCode(code) + QLatin1Char('\n');
    return text;
}

} // namespace

void requestStop()
{
    g_stopRequested = 1;
}

int listPorts(const Options &options)
{
    QJsonArray array;
    QString table = QStringLiteral("%1  %2  %3  %4\n")
                        .arg(QStringLiteral("SZÁM"), -4)
                        .arg(QStringLiteral("ESZKÖZ"), -24)
                        .arg(QStringLiteral("ÁLLAPOT"), -28)
                        .arg(QStringLiteral("LEÍRÁS"));
    bool withoutPermission = false;
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        const QString device = portDevicePath(number);
        const PortProbe probe = probeDevice(device);
        if (probe.state == PortState::Missing)
            continue;
        withoutPermission |= probe.state == PortState::NoPermission;
        const DeviceIdentity identity = deviceIdentity(probe.resolved);
        QJsonArray holders;
        for (const PortHolder &holder : probe.holders)
            holders.append(QJsonObject{{QStringLiteral("pid"), holder.pid},
                                       {QStringLiteral("program"), orNull(holder.program)}});
        array.append(QJsonObject{
            {QStringLiteral("number"), number},
            {QStringLiteral("device"), device},
            {QStringLiteral("resolved"), probe.resolved},
            {QStringLiteral("state"), QLatin1String(stateKey(probe.state))},
            {QStringLiteral("vendor_id"), orNull(hexId(identity.vendorId))},
            {QStringLiteral("product_id"), orNull(hexId(identity.productId))},
            {QStringLiteral("manufacturer"), orNull(identity.manufacturer)},
            {QStringLiteral("product"), orNull(identity.product)},
            {QStringLiteral("serial_number"), orNull(identity.serialNumber)},
            {QStringLiteral("holders"), holders},
        });
        const QString shownDevice = device == probe.resolved ? device : device + QStringLiteral(" -> ") + probe.resolved;
        table += QStringLiteral("%1  %2  %3  %4\n")
                     .arg(number, -4)
                     .arg(shownDevice, -24)
                     .arg(stateText(probe), -28)
                     .arg(describe(identity));
    }
    if (options.json) {
        print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return ExitDone;
    }
    if (array.isEmpty()) {
        say(Texts::NoFreePort);
        return ExitDone;
    }
    print(table);
    if (withoutPermission)
        say(QStringLiteral("Tipp: a dialout csoport tagjai nyithatják meg a soros portokat "
                           "(sudo usermod -aG dialout $USER, majd újra bejelentkezés)."));
    return ExitDone;
}

int readout(const Options &options)
{
    ReadoutFile file;   // opened before the port: the codes go into this file, whatever its name becomes
    if (const FileFault fault = file.open(options.file); fault != FileFault::None) {
        say(Texts::codeListUnwritable(options.file, fault, file.isNew()));
        return ExitFileFailed;
    }
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    const ReadoutResult result = runReadout(file, transfer.state, transfer.port, transfer.clock, transfer.progress);
    transfer.progress.finish();
    switch (result.outcome) {
    case ReadoutResult::Done:
        say(QStringLiteral("A kiolvasás kész: %1 kódot írtam a fájl végére: %2").arg(result.records).arg(options.file));
        return ExitDone;
    case ReadoutResult::FileFailed:
        say(Texts::codeListUnwritable(options.file, result.fileFault, result.newFile));
        return ExitFileFailed;
    default:
        return dumpFailed(result.outcome, transfer.port, Texts::fileLeftAlone(result.newFile));
    }
}

int upload(const Options &options)
{
    if (!options.openingTime) {
        say(QStringLiteral("Az upload parancshoz meg kell adni a nyitási időt: --time T (1–127)."));
        return ExitUsage;
    }
    CodeList list;
    if (const int status = judgeList(options.file, list, true, false))
        return status;
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    transfer.state.UploadBusy = 1;
    const UploadResult result = runUpload(options.file, *options.openingTime, transfer.state, transfer.port,
                                          transfer.clock, transfer.progress);
    transfer.progress.finish();
    switch (result.outcome) {
    case UploadResult::Done:
        say(QStringLiteral("A rátöltés kész: a kártyaolvasó %1 kódot fogadott el.").arg(result.written));
        return ExitDone;
    case UploadResult::Refused:
        say(Texts::WriteFailed + QLatin1Char(' ') + accepted(result.written));
        return ExitReaderFailed;
    case UploadResult::LineLost:
        say(lostLine(Texts::WriteFailed, transfer.port) + QLatin1Char(' ') + accepted(result.written));
        return ExitReaderFailed;
    case UploadResult::NoPort: say(Texts::lineLost(transfer.port.portNumber())); return ExitPortUnusable;
    case UploadResult::FileFailed:
        say(Texts::codeListUnreadable(options.file, result.fileFault) + QLatin1Char(' ') + accepted(result.written));
        return ExitFileFailed;
    case UploadResult::Malformed:
        say(Texts::malformedCardLines(options.file, result.list) + QLatin1Char(' ') + Texts::sentSoFar(result.written));
        return ExitFileFailed;
    case UploadResult::TooManyCards:
        say(Texts::tooManyCards(ReaderCapacity) + QLatin1Char(' ') + Texts::sentSoFar(result.written));
        return ExitFileFailed;
    case UploadResult::Interrupted: break;
    }
    say(QStringLiteral("Megszakítva. ") + accepted(result.written));
    return ExitStopped;
}

int verify(const Options &options)
{
    CodeList list;
    if (const int status = judgeList(options.file, list, false, true))
        return status;
    const QList<CardCode> &listed = list.codes;
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    QByteArray dump;
    const ReadoutResult::Outcome outcome =
        readDump(transfer.state, transfer.port, transfer.clock, transfer.progress, dump);
    transfer.progress.finish();
    if (outcome != ReadoutResult::Done)
        return dumpFailed(outcome, transfer.port);

    const QList<DumpRecord> held = validRecords(dump);
    const Comparison comparison = compareWithReader(listed, held, options.openingTime.value_or(0));
    if (comparison.identical()) {
        print(QStringLiteral("Egyezik: a kártyaolvasó kódjai azonosak a fájl %1 kódjával.\n").arg(listed.size()));
        return ExitDone;
    }
    QString report;
    if (!comparison.missing.isEmpty())
        report += QStringLiteral("Hiányzik a kártyaolvasóból (%1):\n").arg(comparison.missing.size())
            + codes(comparison.missing);
    if (!comparison.extra.isEmpty())
        report += QStringLiteral("Többlet a kártyaolvasóban, nincs a fájlban (%1):\n").arg(comparison.extra.size())
            + codes(comparison.extra);
    if (!comparison.otherTime.isEmpty()) {
        report += QStringLiteral("Más nyitási idővel (%1, a megadott: %2):\n")
                      .arg(comparison.otherTime.size())
                      .arg(*options.openingTime);
        for (const DumpRecord &record : comparison.otherTime)
            report += QStringLiteral("  %1  %2\n").arg(hexCode(record.code)).arg(record.openingTime);
    }
    print(report);
    return ExitDifferences;
}
