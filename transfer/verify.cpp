#include "transfer/verify.h"

#include <QSet>

namespace {

quint64 key(const CardCode &code)
{
    quint64 value = 0;
    for (quint8 byte : code)
        value = value << 8 | byte;
    return value;
}

} // namespace

Comparison compareWithReader(const QList<CardCode> &listed, const QList<DumpRecord> &held, int openingTime)
{
    Comparison result;
    QSet<quint64> inList, inReader, reported;
    for (const CardCode &code : listed)
        inList.insert(key(code));
    for (const DumpRecord &record : held)
        inReader.insert(key(record.code));

    for (const CardCode &code : listed) {
        if (!inReader.contains(key(code)) && !reported.contains(key(code))) {
            result.missing.append(code);
            reported.insert(key(code));
        }
    }
    for (const DumpRecord &record : held) {
        const quint64 code = key(record.code);
        if (!inList.contains(code)) {
            if (!reported.contains(code))
                result.extra.append(record.code);
            reported.insert(code);
        } else if (openingTime != 0 && record.openingTime != openingTime) {
            result.otherTime.append(record);
        }
    }
    return result;
}
