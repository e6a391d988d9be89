#include "store/readerstore.h"

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

} // namespace

ReaderStore::ReaderStore() : m_store(m_settings.store())
{
}

QList<KnownReader> ReaderStore::knownReaders() const
{
    QList<KnownReader> readers;
    if (!m_store)
        return readers;
    QSettings &settings = *m_store;
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

QList<Door> ReaderStore::doors() const
{
    QList<Door> found;
    if (!m_store)
        return found;
    QSettings &settings = *m_store;
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
        if (isDoorName(door.name.trimmed()) && doorGroup(door.name) == DoorsGroup + QLatin1Char('/') + group)
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
    settings.endGroup();
    std::sort(found.begin(), found.end(), [](const Door &a, const Door &b) { return a.name < b.name; });
    return found;
}

int ReaderStore::portOf(const QString &name) const
{
    for (const Door &door : doors()) {
        if (door.name == name && door.port > 0)
            return door.port;
    }
    return 0;
}

void ReaderStore::keep(const ReaderChange &change)
{
    if (change.what == ReaderChange::Keep) {
        keepReader(change.beforeMemory, change.now);
        if (!change.alsoMemory.isEmpty()) {
            KnownReader other = change.now;
            other.memory = change.alsoMemory;
            keepReader({}, other);
        }
    }
    else if (change.what == ReaderChange::Forget)
        forget(change.beforeMemory);
    if (change.what == ReaderChange::Nothing || !isDoorName(change.now.door) || !m_store)
        return;
    QSettings &settings = *m_store;
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

void ReaderStore::keepReader(const QByteArray &before, const KnownReader &reader)
{
    if (!m_store)
        return;
    QSettings &settings = *m_store;
    settings.remove(QStringLiteral("layout"));   // one layout for every reader, as 1.3 kept it: never trusted
    if (!before.isEmpty())
        settings.remove(groupOf(before));
    settings.beginGroup(groupOf(reader.memory));
    // The same memory kept already with another rule (a restore put one door's memory into another
    // door's reader): the memory no longer tells which rule is the reader's, so it keeps none.
    std::optional<MemoryLayout> layout = reader.layout;
    const QString order = settings.value(OrderKey).toString();
    if (layout && !order.isEmpty()
        && (order != (layout->order == MemoryLayout::TopDown ? QLatin1String("top-down") : QLatin1String("bottom-up"))
            || settings.value(OffsetKey).toString() != QString::number(layout->offset)))
        layout.reset();
    settings.remove(QString());
    settings.setValue(SeenKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    settings.setValue(SnapshotKey, reader.snapshot);
    if (!reader.list.isEmpty())
        settings.setValue(ListKey, reader.list);
    if (layout) {
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
    settings.endGroup();
}

void ReaderStore::forget(const QByteArray &memory)
{
    if (!memory.isEmpty() && m_store)
        m_store->remove(groupOf(memory));
}

QDateTime ReaderStore::lastSyncOf(const QString &listPath) const
{
    if (!m_store || listPath.isEmpty())
        return {};
    QSettings &settings = *m_store;
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
    settings.endGroup();
    return last;
}

QList<KnownReader> knownReaders()
{
    return ReaderStore().knownReaders();
}

QList<Door> doors()
{
    return ReaderStore().doors();
}

std::optional<KnownReader> recognisedReader(QByteArrayView dump)
{
    return readerHolding(knownReaders(), dump);
}

void keepReader(const QByteArray &before, const KnownReader &reader)
{
    ReaderStore().keepReader(before, reader);
}
