#include "transfer/layout.h"
#include "serial/usersettings.h"

#include <QCryptographicHash>
#include <QSettings>
#include <algorithm>

namespace {

// readers/<hash>/...: one group per known reader, by the memory it held.
const QString ReadersGroup = QStringLiteral("readers");
const QString OrderKey = QStringLiteral("order");
const QString OffsetKey = QStringLiteral("offset");
const QString CardsOnlyKey = QStringLiteral("cards-only");
const QString LearnedKey = QStringLiteral("learned");
const QString SnapshotKey = QStringLiteral("snapshot");
const QString SeenKey = QStringLiteral("seen");
const QString ListKey = QStringLiteral("list");
const QString DoorsGroup = QStringLiteral("doors");
const QString NameKey = QStringLiteral("name");
const QString PortKey = QStringLiteral("port");
const QString MemoryKey = QStringLiteral("memory");
const QString ListHashKey = QStringLiteral("list-sha256");
const QString SyncedKey = QStringLiteral("synced");
constexpr int MaxKnownReaders = 64;   // the oldest are forgotten

// A door's group: its name in hex, so that any name is one key.
QString doorGroup(const QString &name)
{
    return DoorsGroup + QLatin1Char('/') + QString::fromLatin1(name.toUtf8().toHex());
}

QString groupOf(const QByteArray &memory)
{
    return ReadersGroup + QLatin1Char('/') + QString::fromLatin1(memory.toHex());
}

bool isCard(const DumpRecord &record)
{
    return record.openingTime >= MinOpeningTime && record.openingTime <= MaxOpeningTime;
}

bool explains(const MemoryLayout &layout, const QList<WrittenRecord> &written, QByteArrayView dump)
{
    for (const WrittenRecord &w : written) {
        const std::optional<DumpRecord> held = dumpBlock(dump, layout.blockOfSlot(w.slot));
        if (isCard(w.record) != held.has_value())
            return false;
        if (held && (held->code != w.record.code || held->openingTime != w.record.openingTime))
            return false;
    }
    return true;
}

} // namespace

int MemoryLayout::blockOfSlot(int slot) const
{
    return (order == TopDown ? slot : ReaderCapacity - 1 - slot) + offset;
}

int MemoryLayout::slotOfBlock(int block) const
{
    const int index = block - offset;
    if (index < 0 || index >= ReaderCapacity)
        return -1;
    return order == TopDown ? index : ReaderCapacity - 1 - index;
}

std::optional<MemoryLayout> learnLayout(const QList<WrittenRecord> &written, QByteArrayView dump)
{
    if (std::count_if(written.begin(), written.end(), [](const WrittenRecord &w) { return isCard(w.record); }) < 2)
        return std::nullopt;
    std::optional<MemoryLayout> found;
    for (const MemoryLayout::Order order : {MemoryLayout::TopDown, MemoryLayout::BottomUp}) {
        for (int offset = 0; offset <= MaxLayoutOffset; ++offset) {
            MemoryLayout candidate;
            candidate.order = order;
            candidate.offset = offset;
            if (!explains(candidate, written, dump))
                continue;
            if (found)
                return std::nullopt;   // two rules fit: the data does not tell
            found = candidate;
        }
    }
    if (found)
        found->learned = QDateTime::currentDateTimeUtc();
    return found;
}

QByteArray memoryHash(QByteArrayView dump)
{
    return QCryptographicHash::hash(dump, QCryptographicHash::Sha256);
}

QList<KnownReader> knownReaders()
{
    QList<KnownReader> readers;
    UserSettings trusted;
    if (!trusted.isTrusted())
        return readers;
    QSettings &settings = *trusted.store();
    settings.beginGroup(ReadersGroup);
    for (const QString &group : settings.childGroups()) {
        const QByteArray memory = QByteArray::fromHex(group.toLatin1());
        if (memory.size() != 32 || !settings.contains(group + QLatin1Char('/') + SeenKey))
            continue;
        settings.beginGroup(group);
        KnownReader reader;
        reader.memory = memory;
        reader.snapshot = settings.value(SnapshotKey).toString();
        reader.list = settings.value(ListKey).toString();
        const QString order = settings.value(OrderKey).toString();
        bool ok = false;
        const int offset = settings.value(OffsetKey).toString().toInt(&ok);
        if ((order == QLatin1String("top-down") || order == QLatin1String("bottom-up")) && ok && offset >= 0
            && offset <= MaxLayoutOffset) {
            MemoryLayout layout;
            layout.order = order == QLatin1String("top-down") ? MemoryLayout::TopDown : MemoryLayout::BottomUp;
            layout.offset = offset;
            layout.cardsOnly = settings.value(CardsOnlyKey).toString() == QLatin1String("true");
            layout.learned = QDateTime::fromString(settings.value(LearnedKey).toString(), Qt::ISODate);
            reader.layout = layout;
        }
        settings.endGroup();
        readers.append(reader);
    }
    settings.endGroup();
    for (const Door &door : doors()) {
        for (KnownReader &reader : readers) {
            if (!door.memory.isEmpty() && reader.memory == door.memory) {
                reader.doors.append(door.name);
                reader.port = door.port;
            }
        }
    }
    return readers;
}

bool isDoorName(const QString &name)
{
    return !name.trimmed().isEmpty() && name.size() <= DoorNameMax
        && std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control || c == QLatin1Char('/'); });
}

QList<Door> doors()
{
    QList<Door> found;
    UserSettings trusted;
    if (!trusted.isTrusted())
        return found;
    QSettings &settings = *trusted.store();
    settings.beginGroup(DoorsGroup);
    for (const QString &group : settings.childGroups()) {
        settings.beginGroup(group);
        Door door;
        door.name = settings.value(NameKey).toString();
        door.port = settings.value(PortKey).toString().toInt();
        door.memory = QByteArray::fromHex(settings.value(MemoryKey).toString().toLatin1());
        door.list = settings.value(ListKey).toString();
        door.listHash = QByteArray::fromHex(settings.value(ListHashKey).toString().toLatin1());
        door.synced = QDateTime::fromString(settings.value(SyncedKey).toString(), Qt::ISODateWithMs);
        settings.endGroup();
        if (isDoorName(door.name) && doorGroup(door.name) == DoorsGroup + QLatin1Char('/') + group)
            found.append(door);
    }
    settings.endGroup();
    settings.beginGroup(ReadersGroup);
    for (Door &door : found) {
        if (door.memory.isEmpty())
            continue;
        const QString reader = QString::fromLatin1(door.memory.toHex()) + QLatin1Char('/');
        door.layoutKnown = settings.contains(reader + OrderKey);
        door.snapshot = settings.value(reader + SnapshotKey).toString();
    }
    std::sort(found.begin(), found.end(), [](const Door &a, const Door &b) { return a.name < b.name; });
    return found;
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

std::optional<KnownReader> recognisedReader(QByteArrayView dump)
{
    return readerHolding(knownReaders(), dump);
}

DoorOnLine doorOnLine(const std::optional<KnownReader> &known, const QString &named)
{
    // A memory two doors were left holding names neither.
    const QStringList doors = known ? known->doors : QStringList();
    if (!named.isEmpty() && !doors.isEmpty() && !doors.contains(named))
        return {doors.first(), true};
    return {named.isEmpty() && doors.size() == 1 ? doors.first() : named, false};
}

void keepReaderChange(const ReaderChange &change)
{
    if (change.what == ReaderChange::Keep)
        keepReader(change.before, change.now);
    else if (change.what == ReaderChange::Forget)
        forgetReader(change.before);
    if (change.what == ReaderChange::Nothing || !isDoorName(change.now.door))
        return;
    UserSettings trusted;
    if (!trusted.isTrusted())
        return;
    QSettings &settings = *trusted.store();
    settings.beginGroup(doorGroup(change.now.door));
    settings.setValue(NameKey, change.now.door);
    settings.setValue(PortKey, QString::number(change.now.port));
    // Written to and not read back: the door stays, known by no memory until its next sync.
    settings.setValue(MemoryKey, change.what == ReaderChange::Keep ? QString::fromLatin1(change.now.memory.toHex()) : QString());
    if (change.what == ReaderChange::Keep) {
        settings.setValue(ListKey, change.now.list);
        settings.setValue(ListHashKey, QString::fromLatin1(change.now.listHash.toHex()));
        settings.setValue(SyncedKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    }
    settings.endGroup();
}

void keepReader(const QByteArray &before, const KnownReader &reader)
{
    UserSettings trusted;
    if (!trusted.isTrusted())
        return;
    QSettings &settings = *trusted.store();
    settings.remove(QStringLiteral("layout"));   // one layout for every reader, as 1.3 kept it: never trusted
    if (!before.isEmpty())
        settings.remove(groupOf(before));
    settings.beginGroup(groupOf(reader.memory));
    settings.remove(QString());
    settings.setValue(SeenKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    settings.setValue(SnapshotKey, reader.snapshot);
    if (!reader.list.isEmpty())
        settings.setValue(ListKey, reader.list);
    if (const std::optional<MemoryLayout> &layout = reader.layout) {
        settings.setValue(OrderKey, layout->order == MemoryLayout::TopDown ? QStringLiteral("top-down")
                                                                            : QStringLiteral("bottom-up"));
        settings.setValue(OffsetKey, QString::number(layout->offset));
        settings.setValue(CardsOnlyKey, layout->cardsOnly ? QStringLiteral("true") : QStringLiteral("false"));
        settings.setValue(LearnedKey, layout->learned.toUTC().toString(Qt::ISODate));
    }
    settings.endGroup();

    // Readers not seen for longest are forgotten first.
    settings.beginGroup(ReadersGroup);
    QStringList known = settings.childGroups();
    if (known.size() > MaxKnownReaders) {
        std::sort(known.begin(), known.end(), [&](const QString &a, const QString &b) {
            return settings.value(a + QLatin1Char('/') + SeenKey).toString()
                < settings.value(b + QLatin1Char('/') + SeenKey).toString();
        });
        for (qsizetype i = 0; i < known.size() - MaxKnownReaders; ++i)
            settings.remove(known[i]);
    }
}

QDateTime lastSyncOf(const QString &listPath)
{
    UserSettings trusted;
    if (!trusted.isTrusted() || listPath.isEmpty())
        return {};
    QSettings &settings = *trusted.store();
    settings.beginGroup(ReadersGroup);
    QDateTime last;
    for (const QString &reader : settings.childGroups()) {
        if (settings.value(reader + QLatin1Char('/') + ListKey).toString() != listPath)
            continue;
        const QDateTime seen = QDateTime::fromString(settings.value(reader + QLatin1Char('/') + SeenKey).toString(),
                                                     Qt::ISODateWithMs);
        if (seen.isValid() && (!last.isValid() || seen > last))
            last = seen;
    }
    return last;
}

void forgetReader(const QByteArray &memory)
{
    if (!memory.isEmpty())
        UserSettings().remove(groupOf(memory));
}
