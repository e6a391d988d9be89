#include "transfer/snapshots.h"
#include "transfer/readers.h"
#include "serial/frames.h"
#include "serial/smallfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr SnapshotReason Reasons[] = {SnapshotReason::Snapshot, SnapshotReason::BeforeSync, SnapshotReason::AfterSync,
                                      SnapshotReason::BeforeRestore, SnapshotReason::AfterRestore};

// "20261207T164955.123Z_port33_before-sync_door-Hátsó%20kapu.bin": UTC, so
// names sort by time whatever the zone; a second one of the same millisecond
// gets "_2".
const QString TimeFormat = QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'");
const QRegularExpression NamePattern(
    QStringLiteral("^(\\d{8}T\\d{6}\\.\\d{3}Z)_port(\\d+)_([a-z-]+)(?:_door-([^_]+))?(?:_\\d+)?\\.bin$"));

// A door's name as a part of a file name: as readable as the name, with the
// characters that would run into the other parts ('_'), or need quoting in a
// shell (' '), written as %XX. At most 3 bytes a character: a name of
// DoorNameMax fits in a file name with the rest.
QString doorPart(const QString &door)
{
    QString part;
    for (const QChar c : door) {
        if (c == u'%' || c == u'_' || c == u' ')
            part += QLatin1Char('%') + QString::number(c.unicode(), 16).toUpper();
        else
            part += c;
    }
    return part;
}

// The door a part names; empty when it is no part doorPart writes.
QString doorFromPart(const QString &part)
{
    const QString door = QString::fromUtf8(QByteArray::fromPercentEncoding(part.toUtf8()));
    return isDoorName(door) && doorPart(door) == part ? door : QString();
}

// Another user's file, or one that others may write: not a way back to trust.
bool isForeign(const struct stat &info)
{
    return info.st_uid != ::geteuid() || (info.st_mode & 022) != 0;
}


} // namespace

QString reasonKey(SnapshotReason reason)
{
    switch (reason) {
    case SnapshotReason::Snapshot: break;
    case SnapshotReason::BeforeSync: return QStringLiteral("before-sync");
    case SnapshotReason::AfterSync: return QStringLiteral("after-sync");
    case SnapshotReason::BeforeRestore: return QStringLiteral("before-restore");
    case SnapshotReason::AfterRestore: return QStringLiteral("after-restore");
    }
    return QStringLiteral("snapshot");
}

QString snapshotFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/vivadizuzud/snapshots");
}

SnapshotFile::~SnapshotFile()
{
    discard();
}

void SnapshotFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        if (!m_temporary.isEmpty())
            ::unlink(m_temporary.constData());
    }
    m_fd = -1;
}

FileFault checkSnapshotFolder(const QString &folder, bool create)
{
    const QString above = QFileInfo(folder).path();
    if (create)
        makeFolders(folder);
    for (const QString &level : {above, folder}) {
        if (const FileFault fault = ownFolder(level); fault != FileFault::None)
            return fault;
    }
    return FileFault::None;
}

FileFault SnapshotFile::openInFolder(const QString &folder)
{
    discard();
    m_folder = folder;
    if (const FileFault fault = checkSnapshotFolder(folder, true); fault != FileFault::None)
        return fault;
    m_fd = createUnnamed(m_folder, QStringLiteral("/.snapshot-XXXXXX"), m_temporary);
    return m_fd >= 0 ? FileFault::None : faultFromErrno(errno);
}

FileFault SnapshotFile::openAs(const QString &path)
{
    discard();
    m_folder.clear();
    m_path = path;
    if (path.isEmpty())
        return FileFault::NoName;
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        return FileFault::Exists;
    // Beside it, under a name that fits wherever the chosen one does.
    m_fd = createUnnamed(QFileInfo(path).absolutePath(), QStringLiteral("/.vivadizuzud-XXXXXX"), m_temporary);
    return m_fd >= 0 ? FileFault::None : faultFromErrno(errno);
}

FileFault SnapshotFile::keep(const QByteArray &dump, int portNumber, SnapshotReason reason, const QString &door,
                            const QDateTime &taken)
{
    if (m_fd < 0)
        return FileFault::Other;
    if (!writeAll(m_fd, dump) || ::fsync(m_fd) != 0) {
        const FileFault fault = faultFromErrno(errno);
        discard();
        return fault;
    }
    int error = 0;
    if (m_folder.isEmpty()) {
        error = nameUnnamed(m_fd, m_temporary, QFile::encodeName(m_path));
    } else {
        const QString stem = QStringLiteral("%1/%2_port%3_%4%5")
                                 .arg(m_folder, (taken.isValid() ? taken : QDateTime::currentDateTimeUtc()).toUTC().toString(TimeFormat))
                                 .arg(portNumber)
                                 .arg(reasonKey(reason),
                                      isDoorName(door) ? QStringLiteral("_door-") + doorPart(door) : QString());
        for (int copy = 1; copy < 100; ++copy) {
            m_path = stem + (copy == 1 ? QString() : QStringLiteral("_%1").arg(copy)) + QStringLiteral(".bin");
            error = nameUnnamed(m_fd, m_temporary, QFile::encodeName(m_path));
            if (error != EEXIST)
                break;
        }
    }
    if (error != 0) {
        discard();
        return error == EEXIST ? FileFault::Exists : faultFromErrno(error);
    }
    ::close(m_fd);
    m_fd = -1;
    syncFolder(QFileInfo(m_path).absolutePath());
    return FileFault::None;
}

SnapshotListing listSnapshots(const QString &doorFirst)
{
    SnapshotListing listing;
    const QString folder = snapshotFolder();
    listing.fault = checkSnapshotFolder(folder, false);
    if (listing.fault == FileFault::Missing)
        listing.fault = FileFault::None;   // none kept yet
    DIR *dir = listing.fault == FileFault::None ? ::opendir(QFile::encodeName(folder).constData()) : nullptr;
    if (!dir) {
        if (listing.fault == FileFault::None && errno != ENOENT)
            listing.fault = faultFromErrno(errno);
        return listing;
    }
    QStringList names;
    while (const dirent *entry = ::readdir(dir))
        names.append(QFile::decodeName(entry->d_name));
    ::closedir(dir);
    names.sort();
    std::reverse(names.begin(), names.end());
    for (const QString &name : std::as_const(names)) {
        const QRegularExpressionMatch match = NamePattern.match(name);
        if (!match.hasMatch())
            continue;
        SnapshotInfo info;
        info.path = folder + QLatin1Char('/') + name;
        struct stat status;
        if (::lstat(QFile::encodeName(info.path).constData(), &status) != 0 || S_ISDIR(status.st_mode))
            continue;
        info.foreign = !S_ISREG(status.st_mode) || isForeign(status);
        info.taken = QDateTime::fromString(match.captured(1), TimeFormat);
        info.taken.setTimeZone(QTimeZone::utc());
        info.port = match.captured(2).toInt();
        const auto reason = std::find_if(std::begin(Reasons), std::end(Reasons),
                                         [&](SnapshotReason r) { return reasonKey(r) == match.captured(3); });
        if (reason == std::end(Reasons))
            continue;
        info.reason = *reason;
        if (match.hasCaptured(4) && (info.door = doorFromPart(match.captured(4))).isEmpty())
            continue;   // not a name this program gives
        const auto dump = info.foreign ? std::nullopt : readSmallFile(info.path, DumpLength + 1);
        if (dump && dump->size() == DumpLength)
            info.cards = int(validRecords(*dump).size());
        listing.snapshots.append(info);
    }
    if (!doorFirst.isEmpty())
        std::stable_partition(listing.snapshots.begin(), listing.snapshots.end(),
                              [&](const SnapshotInfo &info) { return info.door == doorFirst; });
    return listing;
}

QString doorOfSnapshot(const QString &path)
{
    const QRegularExpressionMatch match = NamePattern.match(QFileInfo(path).fileName());
    return match.hasCaptured(4) ? doorFromPart(match.captured(4)) : QString();
}

FileFault loadSnapshot(const QString &path, QByteArray &dump)
{
    if (path.isEmpty())
        return FileFault::NoName;
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    // A link is nobody's way back, as the listing marks it: whoever could plant it would choose the state.
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) == 0 && S_ISLNK(info.st_mode))
        return FileFault::Link;
    int fd = -1;
    if (const FileFault fault = openRegularFile(name, O_RDONLY | O_NOFOLLOW, fd); fault != FileFault::None)
        return fault;
    if (::fstat(fd, &info) != 0 || isForeign(info)) {
        ::close(fd);
        return FileFault::NotOwn;
    }
    dump = QByteArray(DumpLength + 1, '\0');
    qsizetype done = 0;
    ssize_t n = 0;
    while (done < dump.size() && (n = ::read(fd, dump.data() + done, size_t(dump.size() - done))) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        done += n;
    }
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    dump.truncate(done);
    if (error != 0)
        return faultFromErrno(error);
    return dump.size() == DumpLength ? FileFault::None : FileFault::NotASnapshot;
}
