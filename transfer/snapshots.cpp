#include "transfer/snapshots.h"
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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr SnapshotReason Reasons[] = {SnapshotReason::Snapshot, SnapshotReason::BeforeSync, SnapshotReason::AfterSync,
                                      SnapshotReason::BeforeRestore, SnapshotReason::AfterRestore};

// "20261207T164955.123Z_port33_before-sync.bin": UTC, so names sort by time
// whatever the zone; a second one of the same millisecond gets "_2".
const QString TimeFormat = QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'");
const QRegularExpression NamePattern(
    QStringLiteral("^(\\d{8}T\\d{6}\\.\\d{3}Z)_port(\\d+)_([a-z-]+)(?:_\\d+)?\\.bin$"));

// Makes the folder and any missing parents, each of them private to the person.
bool makePrivateFolder(const QString &folder)
{
    QString prefix;
    for (const QString &part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(prefix).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return QFileInfo(folder).isDir();
}


// Gives the temporary file its name, never over an existing file.
int nameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without that way of renaming: a second name, then the first goes.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
        ::unlink(m_temporary.constData());
    }
    m_fd = -1;
}

FileFault SnapshotFile::openInFolder()
{
    discard();
    m_folder = snapshotFolder();
    if (!makePrivateFolder(m_folder))
        return faultFromErrno(errno == 0 ? ENOTDIR : errno);
    m_temporary = QFile::encodeName(m_folder + QStringLiteral("/.snapshot-XXXXXX"));
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);   // mode 0600
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
    const QFileInfo target(path);
    m_temporary = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                                    + QStringLiteral(".XXXXXX"));
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
    return m_fd >= 0 ? FileFault::None : faultFromErrno(errno);
}

FileFault SnapshotFile::keep(const QByteArray &dump, int portNumber, SnapshotReason reason)
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
        error = nameWithoutReplacing(m_temporary, QFile::encodeName(m_path));
    } else {
        const QString stem = QStringLiteral("%1/%2_port%3_%4")
                                 .arg(m_folder, QDateTime::currentDateTimeUtc().toString(TimeFormat))
                                 .arg(portNumber)
                                 .arg(reasonKey(reason));
        for (int copy = 1; copy < 100; ++copy) {
            m_path = stem + (copy == 1 ? QString() : QStringLiteral("_%1").arg(copy)) + QStringLiteral(".bin");
            error = nameWithoutReplacing(m_temporary, QFile::encodeName(m_path));
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

QList<SnapshotInfo> listSnapshots()
{
    QList<SnapshotInfo> snapshots;
    const QString folder = snapshotFolder();
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name | QDir::Reversed)) {
        const QRegularExpressionMatch match = NamePattern.match(name);
        if (!match.hasMatch())
            continue;
        SnapshotInfo info;
        info.path = folder + QLatin1Char('/') + name;
        info.taken = QDateTime::fromString(match.captured(1), TimeFormat);
        info.taken.setTimeZone(QTimeZone::utc());
        info.port = match.captured(2).toInt();
        const auto reason = std::find_if(std::begin(Reasons), std::end(Reasons),
                                         [&](SnapshotReason r) { return reasonKey(r) == match.captured(3); });
        if (reason == std::end(Reasons))
            continue;
        info.reason = *reason;
        const auto dump = readSmallFile(info.path, DumpLength + 1);
        if (dump && dump->size() == DumpLength)
            info.cards = int(validRecords(*dump).size());
        snapshots.append(info);
    }
    return snapshots;
}

FileFault loadSnapshot(const QString &path, QByteArray &dump)
{
    if (path.isEmpty())
        return FileFault::NoName;
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    int fd = -1;
    if (const FileFault fault = openRegularFile(QFile::encodeName(path), O_RDONLY, fd); fault != FileFault::None)
        return fault;
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
