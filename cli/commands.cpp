#include "cli/commands.h"
#include "cli/support.h"
#include "cli/texts.h"
#include "serial/deviceinfo.h"
#include "serial/portmap.h"
#include "sessions/sessions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

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

// The command line's own words in an upload's or a readout's outcome.
Texts::TransferWording wording(const Options &options, int portNumber)
{
    Texts::TransferWording wording;
    wording.file = options.file;
    wording.lostLine = wording.noPort = Texts::lineLost(portNumber);
    wording.noOpeningTime = Texts::noOpeningTime();
    wording.counts = true;
    return wording;
}

} // namespace

int listPorts(const Options &options)
{
    QJsonArray array;
    QList<QStringList> table;
    bool withoutPermission = false;
    const PortMap map;
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        const QString device = map.devicePath(number);
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
        table.append({QString::number(number), shownDevice, Texts::portStateWord(probe), describe(identity)});
    }
    if (options.json) {
        print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return ExitDone;
    }
    if (array.isEmpty()) {
        say(Texts::NoFreePort);
        return ExitDone;
    }
    print(Texts::portTable(table));
    if (withoutPermission)
        say(Texts::permissionTip());
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
    const ReadoutResult result = readoutSession(transfer.conversation, file);
    transfer.progress.finish();
    say(Texts::readoutOutcome(result, wording(options, transfer.port.portNumber())));
    return result.fileFault != FileFault::None ? int(ExitFileFailed) : dumpExitStatus(result.dump);
}

int upload(const Options &options)
{
    CodeList list;
    if (const int status = judgeList(options.file, list, ListUse::Upload))
        return status;
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    const UploadResult result = uploadSession(transfer.conversation, list, *options.openingTime);
    transfer.progress.finish();
    say(Texts::uploadOutcome(result, list, transfer.clock.today(), wording(options, transfer.port.portNumber())));
    switch (result.outcome) {
    case UploadResult::Done: return ExitDone;
    case UploadResult::NoPort: return ExitPortUnusable;
    case UploadResult::FileFailed:
    case UploadResult::Malformed:
    case UploadResult::TooManyCards: return ExitFileFailed;   // judged above; the list is the same one
    case UploadResult::NoOpeningTime: return ExitUsage;
    case UploadResult::Interrupted: return ExitStopped;
    default: return ExitReaderFailed;
    }
}

int verify(const Options &options)
{
    CodeList list;
    if (const int status = judgeList(options.file, list, ListUse::Verify))
        return status;
    Transfer transfer;
    if (const int status = openPort(options, transfer.port))
        return status;
    const VerifyResult result = verifySession(transfer.conversation, list, options.openingTime);
    transfer.progress.finish();
    if (result.problem != ListProblem::None) {   // judged above; the list is the same one
        say(Texts::listProblem(options.file, list, result.problem, ListUse::Verify));
        return ExitFileFailed;
    }
    if (result.dumpOutcome != DumpOutcome::Done)
        return dumpFailed(result.dumpOutcome, transfer.port);
    print(Texts::checkResult(result, list, false));
    return result.comparison.identical() ? ExitDone : ExitDifferences;
}

int expiring(const Options &options)
{
    const CodeList list = readCodeList(options.file);
    if (list.fault != FileFault::None) {
        say(Texts::codeListUnreadable(options.file, list.fault));
        return ExitFileFailed;
    }
    if (list.suspicious.count > 0)   // a day that does not exist is no day: said, not counted
        say(Texts::suspiciousLines(options.file, list));
    if (list.malformed.count > 0)   // a line that says no card may be one whose day is near: never "none"
        say(Texts::malformedCardLines(options.file, list));
    const QDate today = SystemClock().today();
    const QList<ListedCard> due = list.due(today, options.days);
    if (options.json) {
        QJsonArray array;
        for (const ListedCard &card : std::as_const(due))
            array.append(QJsonObject{{QStringLiteral("code"), hexCode(card.code)},
                                     {QStringLiteral("name"), card.name},
                                     {QStringLiteral("lastDay"), card.lastDay.toString(Qt::ISODate)},
                                     {QStringLiteral("expired"), card.isExpired(today)},
                                     {QStringLiteral("line"), card.line}});
        print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    } else if (due.isEmpty()) {
        say(Texts::noneExpiring(options.days));
    } else {
        QString text;
        for (const ListedCard &card : std::as_const(due))
            text += Texts::expiringLine(card, card.isExpired(today));
        print(text);
    }
    if (list.malformed.count > 0)
        return ExitFileFailed;
    return due.isEmpty() ? ExitDone : ExitDifferences;
}
