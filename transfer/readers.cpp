#include "transfer/readers.h"

#include <QCryptographicHash>
#include <algorithm>

QByteArray memoryHash(QByteArrayView dump)
{
    return QCryptographicHash::hash(dump, QCryptographicHash::Sha256);
}

bool isDoorName(const QString &name)
{
    return !name.trimmed().isEmpty() && name.size() <= DoorNameMax
        && std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control || c == QLatin1Char('/'); });
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
