#include "transfer/messages.h"
#include "serial/modwinapi.h"
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
    case FileFault::NotOwn:
        return QStringLiteral("nem ennek a felhasználónak a sajátja, vagy mások is írhatják, ezért nem megbízható");
    case FileFault::Link:
        return QStringLiteral("hivatkozás (symlink) áll a helyén, nem valódi mappa; a program csak a felhasználó saját mappáját használja");
    case FileFault::Other: break;
    }
    return QStringLiteral("olvasási vagy írási hiba");
}

QString holders(const QList<PortHolder> &holders)
{
    QStringList who;
    for (const PortHolder &holder : holders)
        who.append(holder.program.isEmpty() ? QString::number(holder.pid)
                                            : QStringLiteral("%1 %2").arg(holder.pid).arg(holder.program));
    return who.join(QStringLiteral(", "));
}

QString noFreePort()
{
    QString text = NoFreePort;
    bool withoutPermission = false;
    for (const auto &[number, probe] : portsNotFree()) {
        if (probe.state == PortState::Held)
            text += QStringLiteral("\n%1 (%2) foglalt, használja: %3.")
                        .arg(thePort(number, true), probe.resolved, holders(probe.holders));
        withoutPermission |= probe.state == PortState::NoPermission;
    }
    if (withoutPermission)
        text += QStringLiteral("\nVan soros port a gépen, de ennek a felhasználónak nincs joga megnyitni: ")
            + dialoutAdvice();
    return text;
}

QString dialoutAdvice()
{
    return QStringLiteral("vegye fel a felhasználót a dialout csoportba (sudo usermod -aG dialout $USER), "
                          "majd jelentkezzen be újra.");
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
    return QStringLiteral("%1%2 nem nyitható meg: %3.").arg(thePort(portNumber, true), where, reason);
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

QString tooManyCards(int capacity, bool distinct)
{
    return QStringLiteral("A fájlban több %1kártyakód van, mint amennyit a kártyaolvasó tárolni tud "
                          "(legfeljebb %2 kódot).")
        .arg(distinct ? QStringLiteral("különböző ") : QString())
        .arg(capacity);
}

QString noisyLine()
{
    return QStringLiteral("A kártyaolvasó vonalán 25 másodpercen át folyamatosan jöttek a bájtok, ezért semmit sem "
                          "küldtem el. Ellenőrizze, hogy a kártyaolvasó portja van-e kiválasztva, és próbálja újra "
                          "fél perc múlva!");
}

QString dumpFailed(DumpOutcome outcome, const QString &repeat)
{
    const QString error = repeat.isEmpty() ? TransferError
                                           : QStringLiteral("Hiba az átvitelben. Ismételje meg a parancsot: %1").arg(repeat);
    switch (outcome) {
    case DumpOutcome::Noisy: return error + QLatin1Char('\n') + noisyLine();
    case DumpOutcome::Unsteady:
        return error + QLatin1Char('\n')
            + QStringLiteral("A kártyaolvasó a memóriája után is küldött bájtokat, és az újabb kiolvasás mást adott: "
                             "egyiket sem fogadtam el.");
    default: return error;
    }
}

QString sentSoFar(int written)
{
    return written == 0 ? QStringLiteral("Semmit sem küldtem el.")
                        : QStringLiteral("Az első %1 kódot beírtam, a többit nem küldtem el.").arg(written);
}

// "in line 4" or "in 7 lines: 4, 6, 8, 10, 12 and 2 more", and the first of them.
static QString whereAndFirst(const NamedLines &lines, const QString &what)
{
    QStringList numbers;
    for (qint64 number : lines.numbers)
        numbers.append(QString::number(number));
    const QString first = QStringLiteral("(%1. sor): „%2”.").arg(numbers.value(0), shownLine(lines.first));
    if (lines.count == 1)
        return QStringLiteral("1 %1 van %2").arg(what, first);
    const qint64 unnamed = lines.count - lines.numbers.size();
    return QStringLiteral("%1 %2 van, ezekben a sorokban: %3%4. Az első %5")
        .arg(QString::number(lines.count), what, numbers.join(QStringLiteral(", ")),
             unnamed == 0 ? QString() : QStringLiteral(" és még %1 másikban").arg(unnamed), first);
}

QString malformedCardLines(const QString &path, const CodeList &list)
{
    return QStringLiteral("A kódlistafájlban%1 %2 Egy kártyasor végén tíz hexadecimális számjegy álljon "
                          "(előtte lehet BB), például: 1,200,BB0123456789.")
        .arg(fileLabel(path), whereAndFirst(list.malformed, QStringLiteral("hibás kártyasor")));
}

QString suspiciousLines(const QString &path, const CodeList &list)
{
    return QStringLiteral("A kódlistafájlban%1 %2 Ezek a sorok kártyakóddal végződnek, de nem „1”-gyel kezdődnek, "
                          "ezért a kártyaolvasó nem kapná meg őket (például ha a táblázatban egy másik oszlop áll "
                          "elöl). Tegye a sor elejére a típust: 1,200,NÉV,BB0123456789.")
        .arg(fileLabel(path), whereAndFirst(list.suspicious, QStringLiteral("gyanús sor")));
}

QString passedOverCards(const CodeList &list)
{
    if (list.suspicious.count == 0)
        return {};
    return QStringLiteral("%1 sort kihagytam, amely kártyakóddal végződik, de nem „1”-gyel kezdődik (az első: "
                          "%2. sor).")
        .arg(list.suspicious.count)
        .arg(list.suspicious.numbers.value(0));
}

QString codeListUnreadable(const QString &path, FileFault fault)
{
    return QStringLiteral("A kódlistafájl%1 nem olvasható: %2.").arg(fileLabel(path), fileFaultReason(fault));
}

QString codeListUnwritable(const QString &path, FileFault fault, bool newFile)
{
    return QStringLiteral("A kódlistafájlba%1 nem sikerült írni: %2. %3")
        .arg(fileLabel(path), fileFaultReason(fault), fileLeftAlone(newFile));
}

QString fileLeftAlone(bool newFile)
{
    return newFile ? QStringLiteral("A fájl nem jött létre.") : QStringLiteral("A fájl változatlan maradt.");
}

} // namespace Texts
