#include "transfer/messages.h"
#include "serial/portmap.h"

namespace {

QString fileLabel(const QString &path)
{
    return path.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(path);
}

// A line of someone's file, fit to be shown: control characters and bytes that
// are no UTF-8 become "?", and a long line is cut.
QString shownLine(const QByteArray &line)
{
    constexpr int MaxShown = 60;
    QString text = QString::fromUtf8(line.left(4 * MaxShown));
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QChar::ReplacementCharacter)
            c = QLatin1Char('?');
    }
    return text.size() > MaxShown ? text.left(MaxShown) + QStringLiteral("…") : text;
}

} // namespace

namespace Texts {

QString fileFaultReason(FileFault fault)
{
    switch (fault) {
    case FileFault::None: return {};
    case FileFault::NoName: return QStringLiteral("nincs kiválasztva fájl");
    case FileFault::BadName:
        return QStringLiteral("a fájl neve nem érvényes UTF-8 szöveg (vagy helyettesítő karaktert tartalmaz)");
    case FileFault::Missing: return QStringLiteral("a fájl vagy a mappája nem létezik");
    case FileFault::NotRegular:
        return QStringLiteral("ez nem közönséges fájl (hanem mappa, eszköz vagy csővezeték)");
    case FileFault::NoPermission: return QStringLiteral("nincs hozzá jogosultság");
    case FileFault::ReadOnly: return QStringLiteral("a lemez csak olvasható");
    case FileFault::DiskFull: return QStringLiteral("megtelt a lemez");
    case FileFault::Exists: return QStringLiteral("már van ilyen nevű fájl, és az megmarad");
    case FileFault::NotASnapshot:
        return QStringLiteral("nem pillanatkép: a kártyaolvasó memóriájának pillanatképe pontosan 20490 bájt");
    case FileFault::Other: break;
    }
    return QStringLiteral("olvasási vagy írási hiba");
}

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
    return QStringLiteral("A %1 port%2 nem nyitható meg: %3.")   // "COM..."
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

QString tooManyCards(int capacity)
{
    return QStringLiteral("A fájlban több kártyakód van, mint amennyit a kártyaolvasó tárolni tud "
                          "(legfeljebb %1 kódot).")
        .arg(capacity);
}

QString sentSoFar(int written)
{
    return written == 0 ? QStringLiteral("Semmit sem küldtem el.")
                        : QStringLiteral("Az első %1 kódot beírtam, a többit nem küldtem el.").arg(written);
}

QString malformedCardLines(const QString &path, const CodeList &list)
{
    QStringList numbers;
    for (qint64 number : list.malformedLines)
        numbers.append(QString::number(number));
    const QString first = QStringLiteral("(%1. sor): „%2”.").arg(numbers.value(0), shownLine(list.firstMalformed));
    const qint64 unnamed = list.malformedCount - list.malformedLines.size();
    const QString where = list.malformedCount == 1
        ? QStringLiteral("A kódlista fájlban%1 hibás kártyasor van %2").arg(fileLabel(path), first)
        : QStringLiteral("A kódlista fájlban%1 %2 hibás kártyasor van, ezekben a sorokban: %3%4. Az első %5")
              .arg(fileLabel(path), QString::number(list.malformedCount), numbers.join(QStringLiteral(", ")),
                   unnamed == 0 ? QString() : QStringLiteral(" és még %1 másikban").arg(unnamed), first);
    return where + QStringLiteral(" Egy kártyasor végén tíz hexadecimális számjegy álljon (előtte lehet BB), "
                                  "például: 1,200,BB0123456789.");
}

QString codeListUnreadable(const QString &path, FileFault fault)
{
    return QStringLiteral("A kódlista fájl%1 nem olvasható: %2.").arg(fileLabel(path), fileFaultReason(fault));
}

QString codeListUnwritable(const QString &path, FileFault fault, bool newFile)
{
    return QStringLiteral("A kódlista fájlba%1 nem sikerült írni: %2. %3")
        .arg(fileLabel(path), fileFaultReason(fault), fileLeftAlone(newFile));
}

QString fileLeftAlone(bool newFile)
{
    return newFile ? QStringLiteral("A fájl nem jött létre.") : QStringLiteral("A fájl változatlan maradt.");
}

} // namespace Texts
