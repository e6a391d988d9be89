#include "transfer/readers.h"

#include <QCryptographicHash>
#include <algorithm>

QByteArray memoryHash(QByteArrayView dump)
{
    return QCryptographicHash::hash(dump, QCryptographicHash::Sha256);
}

DoorStanding doorStanding(const Door &door, const QString &listPath, const QByteArray &listHash, const CodeList *list,
                          const QDate &today)
{
    DoorStanding standing;
    if (door.memory.isEmpty())
        return standing;
    standing.holds = door.list.isEmpty() ? DoorStanding::NoList
        : door.list != listPath          ? DoorStanding::OtherList
        : listHash.isEmpty() || !list    ? DoorStanding::ListMissing
        : listHash != door.listHash      ? DoorStanding::OlderList
                                         : DoorStanding::TheList;
    if (standing.holds != DoorStanding::TheList || !door.synced.isValid())
        return standing;
    // Valid on the day of its sync, so written; expired by today, so it should be out.
    const QDate synced = door.synced.toLocalTime().date();
    for (const ListedCard &card : list->expired(today)) {
        if (card.lastDay >= synced)
            standing.stillOpen.append(card);
    }
    return standing;
}

bool isDoorName(const QString &name)
{
    // Nothing a reader of the name cannot see: a control, an invisible or direction-turning
    // format character (U+200B, U+202E), a line or paragraph separator; blanks only inside.
    const auto unseen = [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || c == QLatin1Char('/');
    };
    return !name.isEmpty() && name == name.trimmed() && name.size() <= DoorNameMax
        && std::none_of(name.cbegin(), name.cend(), unseen);
}

std::optional<KnownReader> readerHolding(const QList<KnownReader> &known, QByteArrayView dump)
{
    const QByteArray memory = memoryHash(dump);
    for (const KnownReader &reader : known) {
        if (reader.memory == memory)
            return reader;
    }
    return std::nullopt;
}

DoorOnLine doorOnLine(const std::optional<KnownReader> &known, const QString &named)
{
    // A memory two doors were left holding names neither.
    const QStringList doors = known ? known->doors : QStringList();
    if (!named.isEmpty() && !doors.isEmpty() && !doors.contains(named))
        return {doors.first(), true};
    return {named.isEmpty() && doors.size() == 1 ? doors.first() : named, false};
}
