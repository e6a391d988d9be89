#include "app/texts.h"
#include "serial/portmap.h"

namespace {

QString fileFaultReason(FileFault fault)
{
    switch (fault) {
    case FileFault::None: return {};
    case FileFault::NoName: return QStringLiteral("nincs kiválasztva fájl");
    case FileFault::Missing: return QStringLiteral("a fájl vagy a mappája nem létezik");
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

QString noPortOpen()
{
    return QStringLiteral("Nincs megnyitott soros port. Válassza ki a kártyaolvasó portját a Comm listában!");
}

QString lineLost(int portNumber)
{
    return QStringLiteral("Megszakadt a kapcsolat a kártyaolvasóval (%1). Ellenőrizze a kábelt, "
                          "majd válassza ki újra a portot a Comm listában!")
        .arg(portDisplayName(portNumber));
}

QString withLostLine(const QString &outcome, int portNumber)
{
    return outcome + QLatin1Char('\n') + lineLost(portNumber);
}

QString tooManyCards(int cardLines, int capacity)
{
    return QStringLiteral("A fájlban %1 kártyakód van, de a kártyaolvasó legfeljebb %2 kódot tud "
                          "tárolni. Semmit sem küldtem el.")
        .arg(cardLines)
        .arg(capacity);
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
