#include "serial/lockfile.h"
#include "serial/smallfile.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lock file is a pid and perhaps a program and host name: a few dozen bytes.
constexpr qsizetype LockFileBytes = 64;

bool isProcessAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Lock files hold the owner's pid as text ("  1234\n", or Qt's "1234\napp\nhost\n"),
// or as a 4-byte binary number in old programs.
pid_t pidIn(const QByteArray &content)
{
    if (content.size() == 4 && !content.trimmed().toInt()) {
        qint32 pid;
        memcpy(&pid, content.constData(), 4);
        return pid;
    }
    return content.split('\n').value(0).trimmed().toInt();
}

// The owner of a running process, as /proc shows it.
std::optional<uid_t> ownerOf(pid_t pid)
{
    struct stat info;
    if (::stat(QByteArray("/proc/" + QByteArray::number(pid)).constData(), &info) != 0)
        return std::nullopt;
    return info.st_uid;
}

} // namespace

QStringList lockDirectories()
{
    return {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QDir::tempPath()};
}

QString lockFileName(const QString &canonicalPath)
{
    QString name = canonicalPath;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

QString programOf(qint64 pid)
{
    const auto comm = readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid), 64);
    return comm ? QString::fromLocal8Bit(*comm).trimmed() : QString();
}

std::optional<PortHolder> lockFileHolder(const QString &path)
{
    struct stat info;
    const auto content = readSmallFile(path, LockFileBytes, &info);
    if (!content)
        return std::nullopt;
    const pid_t pid = pidIn(*content);
    if (pid == ::getpid() || !isProcessAlive(pid))
        return std::nullopt;
    const std::optional<uid_t> owner = ownerOf(pid);
    if (info.st_uid != 0 && (!owner || *owner != info.st_uid))
        return std::nullopt;
    return PortHolder{pid, programOf(pid)};
}

bool DeviceLock::take(const QString &canonicalPath, PortHolder &holder)
{
    release();
    const QString name = lockFileName(canonicalPath);
    for (const QString &dir : lockDirectories()) {
        const QString path = dir + QLatin1Char('/') + name;
        if (const auto other = lockFileHolder(path)) {
            holder = *other;
            return false;
        }
    }
    for (const QString &dir : lockDirectories()) {
        const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + name);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd >= 0) {
                // The HDB UUCP form other serial programs read: the pid in ten columns.
                const QByteArray pid = QByteArray::number(::getpid()).rightJustified(10) + '\n';
                struct stat info;
                const bool written = ::write(fd, pid.constData(), size_t(pid.size())) == pid.size()
                    && ::fstat(fd, &info) == 0;
                ::close(fd);
                if (!written) {
                    ::unlink(path.constData());
                    break;
                }
                m_path = path;
                m_device = info.st_dev;
                m_inode = info.st_ino;
                return true;
            }
            // A left-over of this user's own (a program that died) may go; anything else stays.
            struct stat left;
            if (errno != EEXIST || attempt > 0 || ::lstat(path.constData(), &left) != 0 || !S_ISREG(left.st_mode)
                || left.st_uid != ::geteuid() || lockFileHolder(QFile::decodeName(path))
                || ::unlink(path.constData()) != 0)
                break;
        }
    }
    return true;
}

void DeviceLock::release()
{
    if (m_path.isEmpty())
        return;
    struct stat info;
    if (::lstat(m_path.constData(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(m_path.constData());
    m_path.clear();
}
