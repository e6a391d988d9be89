#include "transfer/messages.h"
#include "serial/portmap.h"

namespace {

QString fileFaultReason(FileFault fault)
{
    switch (fault) {
    case FileFault::None: return {};
    case FileFault::NoName: return QStringLiteral("nincs kiválasztva fájl");
    case FileFault::Missing: return QStringLiteral("a fájl vagy a mappája nem létezik");
    case FileFault::NotRegular:
        return QStringLiteral("ez nem közönséges fájl (hanem mappa, eszköz vagy csővezeték)");
    case FileFault::NoPermission: return QStringLiteral("nincs hozzá jogosultság");
    case FileFault::ReadOnly: return QStringLiteral("a lemez csak olvasható");
    case FileFault::DiskFull: return QStringLiteral("megtelt a lemez");
    case FileFault::Other: break;
    }
    return QStringLiteral("olvasási vagy írási hiba");
}

QString fileLabel(const QString &path)
{
    return path.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(path);
}

} // namespace

namespace Texts {

QString noFreePort(bool devicesWithoutPermission)
{
    if (!devicesWithoutPermission)
        return NoFreePort;
    return NoFreePort + QStringLiteral(
        "\nVan soros port a gépen, de ennek a felhasználónak nincs joga megnyitni: "
        "vegye fel a dialout csoportba, majd jelentkezzen be újra.");
}

QString portOpenFailed(int portNumber, const QString &device, CommPort::OpenFault fault)
{
    QString reason;
    switch (fault) {
    case CommPort::OpenFault::NoDevice:
        reason = QStringLiteral("az eszköz nem található (ki van húzva a kábel?)");
        break;
    case CommPort::OpenFault::NoPermission:
        reason = QStringLiteral("nincs jogosultság a megnyitásához (a felhasználó nincs a dialout csoportban)");
        break;
    case CommPort::OpenFault::Busy:
        reason = QStringLiteral("egy másik program használja");
        break;
    case CommPort::OpenFault::Console:
        reason = QStringLiteral("ez a gép konzolja, nem a kártyaolvasó vonala");
        break;
    case CommPort::OpenFault::BadSettings:
        reason = QStringLiteral("a vonal beállítása nem sikerült");
        break;
    case CommPort::OpenFault::None:
    case CommPort::OpenFault::Other:
        reason = QStringLiteral("ismeretlen hiba");
        break;
    }
    const QString where = device.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(device);
    return QStringLiteral("A(z) %1 port%2 nem nyitható meg: %3.")
        .arg(portDisplayName(portNumber), where, reason);
}

QString lineLost(int portNumber, const QString &advice)
{
    return QStringLiteral("Megszakadt a kapcsolat a kártyaolvasóval (%1). %2")
        .arg(portDisplayName(portNumber), advice);
}

QString withLostLine(const QString &outcome, const QString &lostLine)
{
    return outcome + QLatin1Char('\n') + lostLine;
}

QString tooManyCards(int capacity, int written)
{
    const QString sent = written == 0
        ? QStringLiteral("Semmit sem küldtem el.")
        : QStringLiteral("Az első %1 kódot beírtam, a többit nem küldtem el.").arg(written);
    return QStringLiteral("A fájlban több kártyakód van, mint amennyit a kártyaolvasó tárolni tud "
                          "(legfeljebb %1 kódot). %2")
        .arg(capacity)
        .arg(sent);
}

QString codeListUnreadable(const QString &path, FileFault fault)
{
    return QStringLiteral("A kódlista fájl%1 nem olvasható: %2.").arg(fileLabel(path), fileFaultReason(fault));
}

QString codeListUnwritable(const QString &path, FileFault fault)
{
    return QStringLiteral("A kódlista fájlba%1 nem sikerült írni: %2. A fájl változatlan maradt.")
        .arg(fileLabel(path), fileFaultReason(fault));
}

} // namespace Texts
