#include "transfer/files.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int NoFollowFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW;

bool sameFile(const struct stat &info, const FileStamp &stamp)
{
    return info.st_dev == stamp.device && info.st_ino == stamp.inode;
}

bool inGroup(gid_t group)
{
    if (group == ::getegid())
        return true;
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    return std::find(groups, groups + qMax(count, 0), group) != groups + qMax(count, 0);
}

// Whether the mode bits that apply to this user let them write: a 0444 list is
// the person saying "do not change this", whoever they are (root included).
bool modeLetsWrite(const struct stat &info)
{
    if (info.st_uid == ::geteuid())
        return info.st_mode & S_IWUSR;
    return info.st_mode & (inGroup(info.st_gid) ? S_IWGRP : S_IWOTH);
}

bool readAllAt(int fd, qint64 size, QByteArray &bytes)
{
    bytes.resize(size);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(size - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return true;
}

// The file's whole contents made bytes, synced.
bool rewriteWhole(int fd, const QByteArray &bytes)
{
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, bytes) && ::ftruncate(fd, bytes.size()) == 0
        && ::fsync(fd) == 0;
}

// A new file in folder, named after base and never over another: its
// descriptor, or -1 with errno set.
int createBeside(const QString &folder, const QString &base, mode_t mode, QByteArray &name)
{
    // The neighbour's name says whose it is, cut short so that it is a name the folder takes
    // (NAME_MAX bytes) even beside a file whose own name is as long as that.
    QString stem = base;
    while (QFile::encodeName(stem).size() > NAME_MAX - 11)   // ".", ".", eight hex digits, "~"
        stem.chop(1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = QFile::encodeName(QStringLiteral("%1/.%2.%3~").arg(folder, stem).arg(
            QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0')));
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | NoFollowFlags, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The file's old bytes kept beside it (or, where its folder takes no new file,
// in the person's own data folder): the copy's name, or empty when none could be
// kept, and then error says why the last place tried would take none.
QByteArray keepCopy(const QString &path, const QByteArray &old, int &error)
{
    error = EACCES;
    const QFileInfo info(path);
    const QString kept = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/vivadizuzud/kept");
    for (const QString &folder : {info.absolutePath(), kept}) {
        if (folder == kept) {
            makeFolders(kept);
            if (ownFolder(kept) != FileFault::None)
                break;
        }
        QByteArray name;
        const int fd = createBeside(folder, info.fileName(), 0600, name);
        if (fd < 0) {
            error = errno;
            continue;
        }
        if ((error = writeSyncedAndClose(fd, old)) == 0)
            return name;
        ::unlink(name.constData());
    }
    return {};
}

FileFault writeInPlace(const QString &path, const FileStamp &stamp, const QByteArray &bytes, QString *keptCopy)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | (NoFollowFlags & ~(stamp.throughLink ? O_NOFOLLOW : 0)));
    if (fd < 0)
        return errno == ELOOP ? FileFault::Replaced : faultFromErrno(errno);
    struct stat info;
    QByteArray old;
    FileFault fault = FileFault::None;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !sameFile(info, stamp))
        fault = FileFault::Replaced;
    else if (info.st_size > MaxListFileSize)
        fault = FileFault::TooLarge;
    else if (!readAllAt(fd, info.st_size, old))
        fault = faultFromErrno(errno);
    int copyError = 0;
    const QByteArray copy = fault == FileFault::None ? keepCopy(path, old, copyError) : QByteArray();
    if (fault == FileFault::None && copy.isEmpty())   // no copy, no writing in place: a full disk says so
        fault = faultFromErrno(copyError);
    if (fault == FileFault::None && !rewriteWhole(fd, bytes)) {
        fault = faultFromErrno(errno);
        // Put the old bytes back; when even that fails, the copy stays and is named.
        if (!rewriteWhole(fd, old)) {
            if (keptCopy)
                *keptCopy = QFile::decodeName(copy);
            ::close(fd);
            return fault;
        }
    }
    if (!copy.isEmpty())
        ::unlink(copy.constData());
    ::close(fd);
    return fault;
}

FileFault writeReplacing(const QString &path, const FileStamp &stamp, const struct stat &old, const QByteArray &bytes,
                         bool &inPlace)
{
    const QFileInfo info(path);
    QByteArray temporary;
    const int fd = createBeside(info.absolutePath(), info.fileName(), 0600, temporary);
    if (fd < 0) {
        inPlace = errno == EACCES || errno == EPERM;   // a folder that takes no new file: the file itself may
        return faultFromErrno(errno);
    }
    // The group stays the file's; where this user cannot give it, the file is written in place instead.
    if (old.st_gid != ::getegid() && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        ::close(fd);
        ::unlink(temporary.constData());
        inPlace = true;
        return FileFault::Other;
    }
    int error = 0;
    if (!writeAll(fd, bytes) || ::fchmod(fd, old.st_mode & 07777) != 0 || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    // The name looked at once more right before it is taken over.
    struct stat now;
    const QByteArray name = QFile::encodeName(path);
    if (error == 0 && (::lstat(name.constData(), &now) != 0 || !S_ISREG(now.st_mode) || !sameFile(now, stamp))) {
        ::unlink(temporary.constData());
        return FileFault::Replaced;
    }
    if (error == 0 && ::rename(temporary.constData(), name.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return faultFromErrno(error);
    }
    syncFolder(info.absolutePath());
    return FileFault::None;
}

} // namespace

FileFault faultFromErrno(int error)
{
    switch (error) {
    case 0: return FileFault::None;
    case ENOENT: case ENOTDIR: return FileFault::Missing;
    case EACCES: case EPERM: return FileFault::NoPermission;
    case EROFS: return FileFault::ReadOnly;
    case ENOSPC: case EDQUOT: case EFBIG: return FileFault::DiskFull;
    case EEXIST: return FileFault::Exists;
    case ELOOP: return FileFault::Replaced;
    default: return FileFault::Other;
    }
}

// It is looked at before it is opened, so a FIFO or a device is never opened
// at all, and again after, in case it was swapped meanwhile; the open itself
// never waits.
FileFault openRegularFile(const QByteArray &name, int flags, int &fd)
{
    fd = -1;
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return faultFromErrno(errno);
    if (!S_ISREG(info.st_mode))
        return FileFault::NotRegular;
    fd = ::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return faultFromErrno(errno);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fd = -1;
        return FileFault::NotRegular;
    }
    return FileFault::None;
}

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

int writeSyncedAndClose(int fd, const QByteArray &data)
{
    int error = 0;
    if (!writeAll(fd, data) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

bool isFaithfulFileName(const QString &path)
{
    return !path.contains(QChar::ReplacementCharacter) && QFile::decodeName(QFile::encodeName(path)) == path;
}

void makeFolders(const QString &folder)
{
    QString prefix;
    for (const QString &part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += QLatin1Char('/') + part;
        ::mkdir(QFile::encodeName(prefix).constData(), 0700);
    }
}

FileFault ownFolder(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        struct stat info;
        if (::lstat(name.constData(), &info) == 0 && S_ISLNK(info.st_mode))
            return FileFault::Link;
        return errno == ENOTDIR ? FileFault::NotRegular : faultFromErrno(errno);
    }
    struct stat info;
    FileFault fault = FileFault::None;
    if (::fstat(fd, &info) != 0)
        fault = faultFromErrno(errno);
    else if (info.st_uid != ::geteuid())
        fault = FileFault::NotOwn;
    else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        fault = FileFault::NotOwn;
    ::close(fd);
    return fault;
}

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

int createUnnamed(const QString &folder, const QString &pattern, QByteArray &temporary)
{
    temporary.clear();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    temporary = QFile::encodeName(folder + pattern);
    return ::mkostemp(temporary.data(), O_CLOEXEC);   // mode 0600
}

int nameUnnamed(int fd, const QByteArray &temporary, const QByteArray &to)
{
    if (!temporary.isEmpty())
        return nameWithoutReplacing(temporary, to);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

FileFault stampFile(int fd, FileStamp &stamp, QByteArray *contents)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return faultFromErrno(errno);
    if (!S_ISREG(info.st_mode))
        return FileFault::NotRegular;
    if (info.st_size > MaxListFileSize)
        return FileFault::TooLarge;
    QByteArray bytes;
    if (!readAllAt(fd, info.st_size, bytes))
        return faultFromErrno(errno);
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = bytes.size();
    stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    if (contents)
        *contents = std::move(bytes);
    return FileFault::None;
}

FileFault stampPath(const QString &path, bool followLink, FileStamp &stamp, QByteArray *contents)
{
    if (path.isEmpty())
        return FileFault::NoName;
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return faultFromErrno(errno);
    const bool link = S_ISLNK(info.st_mode);
    if (link && !followLink)
        return FileFault::Replaced;
    int fd = -1;
    if (const FileFault fault = openRegularFile(name, O_RDONLY | (followLink ? 0 : O_NOFOLLOW), fd);
        fault != FileFault::None)
        return fault;
    const FileFault fault = stampFile(fd, stamp, contents);
    ::close(fd);
    stamp.throughLink = link;
    return fault;
}

DiskChange lookAgain(const QString &path, const FileStamp &stamp)
{
    FileStamp now;
    switch (stampPath(path, stamp.throughLink, now)) {
    case FileFault::None: break;
    case FileFault::Missing: return DiskChange::Gone;
    case FileFault::Replaced: case FileFault::NotRegular: return DiskChange::Elsewhere;
    default: return DiskChange::Unreadable;
    }
    if (now.device != stamp.device || now.inode != stamp.inode || now.throughLink != stamp.throughLink)
        return DiskChange::Elsewhere;
    return now.size == stamp.size && now.hash == stamp.hash ? DiskChange::Same : DiskChange::Changed;
}

FileFault writeOver(const QString &path, const FileStamp &stamp, const QByteArray &bytes, FileStamp &written,
                    QString *keptCopy)
{
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if ((stamp.throughLink ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0)
        return faultFromErrno(errno);
    if (!S_ISREG(info.st_mode) || !sameFile(info, stamp))
        return FileFault::Replaced;
    if (!modeLetsWrite(info) || ::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0)
        return FileFault::WriteProtected;
    bool inPlace = stamp.throughLink || info.st_uid != ::geteuid() || info.st_nlink > 1;
    FileFault fault = FileFault::Other;
    if (!inPlace)
        fault = writeReplacing(path, stamp, info, bytes, inPlace);
    if (inPlace)
        fault = writeInPlace(path, stamp, bytes, keptCopy);
    if (fault == FileFault::None) {
        const FileFault stamped = stampPath(path, stamp.throughLink, written);
        written.throughLink = stamp.throughLink;
        return stamped;
    }
    return fault;
}

FileFault writeNew(const QString &path, const QByteArray &bytes, FileStamp &written)
{
    if (path.isEmpty())
        return FileFault::NoName;
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    const QFileInfo info(path);
    QByteArray temporary;
    const int fd = createBeside(info.absolutePath(), info.fileName(), 0666, temporary);   // the umask decides
    if (fd < 0)
        return faultFromErrno(errno);
    int error = writeSyncedAndClose(fd, bytes);
    if (error == 0)
        error = nameWithoutReplacing(temporary, QFile::encodeName(path));
    if (error != 0) {
        ::unlink(temporary.constData());
        return faultFromErrno(error);
    }
    syncFolder(info.absolutePath());
    return stampPath(path, false, written);
}
