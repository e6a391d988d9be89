#include "transfer/verify.h"
#include "transfer/clock.h"

#include <QHash>
#include <algorithm>
#include <QSet>

QList<DumpRecord> eachCodeOnce(const QList<DumpRecord> &records, int *duplicates)
{
    QList<DumpRecord> once;
    QSet<quint64> seen;
    for (const DumpRecord &record : records) {
        if (!seen.contains(codeKey(record.code))) {
            seen.insert(codeKey(record.code));
            once.append(record);
        }
    }
    if (duplicates)
        *duplicates = int(records.size() - once.size());
    return once;
}

QList<DumpRecord> withOpeningTime(const QList<CardCode> &codes, int openingTime)
{
    QList<DumpRecord> records;
    for (const CardCode &code : codes)
        records.append({code, openingTime});
    return records;
}

Comparison compareWithReader(const QList<DumpRecord> &listed, const QList<DumpRecord> &held)
{
    Comparison result;
    QHash<quint64, QList<int>> heldTimes;   // a code may sit in more than one slot
    for (const DumpRecord &record : held)
        heldTimes[codeKey(record.code)].append(record.openingTime);
    const QList<DumpRecord> wanted = eachCodeOnce(listed);
    QSet<quint64> inList;
    for (const DumpRecord &record : wanted) {
        inList.insert(codeKey(record.code));
        const auto times = heldTimes.constFind(codeKey(record.code));
        if (times == heldTimes.cend()) {
            result.missing.append(record);
            continue;
        }
        const auto other = std::find_if(times->begin(), times->end(), [&](int time) { return time != record.openingTime; });
        if (record.openingTime != 0 && other != times->end())
            result.otherTime.append({record.code, *other, record.openingTime});
        else
            ++result.same;
    }
    for (const DumpRecord &record : eachCodeOnce(held)) {
        if (!inList.contains(codeKey(record.code)))
            result.extra.append(record);
    }
    return result;
}

VerifyResult runVerify(Conversation &c, const CodeList &list, std::optional<int> openingTime,
                       const QList<KnownReader> &known)
{
    VerifyResult result;
    result.problem = openingTime && !isOpeningTime(*openingTime) ? ListProblem::NoOpeningTime
                                                                 : listProblem(list, ListUse::Verify, ReaderCapacity);
    if (result.problem != ListProblem::None)
        return result;
    // A card past its last day should be out: held, it is named as such.
    result.listed = eachCodeOnce(withOpeningTime(list.validCodes(c.clock.today()), openingTime.value_or(0)));
    QByteArray dump;
    c.view.beginPhase(ProgressView::Phase::Reading);
    if ((result.dumpOutcome = readDump(c, dump, known)) != DumpOutcome::Done)
        return result;
    result.held = validRecords(dump);
    result.comparison = compareWithReader(result.listed, result.held);
    // Listed and still extra: every line of it has expired, and it still opens the door.
    for (const DumpRecord &record : result.comparison.extra) {
        if (list.cardOf(record.code))
            result.expiredHeld.append(record);
    }
    return result;
}
