#include "cli/commands.h"
#include "cli/support.h"
#include "serial/deviceinfo.h"
#include "serial/portmap.h"
#include "transfer/messages.h"
#include "transfer/upload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString accepted(int written)
{
    return QStringLiteral("A kártyaolvasó %1 kódot fogadott el ebből a fájlból.").arg(written);
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

} // namespace

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
    const QList<DumpRecord> listed = withOpeningTime(list.codes, options.openingTime.value_or(0));
    Transfer transfer;
    QByteArray dump;
    if (const int status = readWholeMemory(options, transfer, dump))
        return status;

    const Comparison comparison = compareWithReader(listed, validRecords(dump));
    if (comparison.identical()) {
        print(QStringLiteral("Egyezik: a kártyaolvasó kódjai azonosak a fájl %1 kódjával.\n").arg(listed.size()));
        return ExitDone;
    }
    print(differences(comparison));
    return ExitDifferences;
}
