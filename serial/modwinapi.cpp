#include "serial/modwinapi.h"
#include "serial/portmap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Where programs leave UUCP lock files; the last is where Qt's serial port
// puts its own when the system folders are not writable.
QStringList lockDirectories()
{
    return {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QDir::tempPath()};
}

// Device numbers of the pseudo-terminals' device ends.
constexpr unsigned FirstPtySlaveMajor = 136;
constexpr unsigned LastPtySlaveMajor = 143;

bool isProcessAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

QString programOf(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

// Lock files hold the owner's pid as text ("  1234\n", or Qt's "1234\napp\nhost\n"),
// or as a 4-byte binary number in old programs.
pid_t lockFileOwner(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray content = file.read(128);
    if (content.size() == 4 && !content.trimmed().toInt()) {
        qint32 pid;
        memcpy(&pid, content.constData(), 4);
        return pid;
    }
    const QByteArray first = content.split('\n').value(0).trimmed();
    return first.toInt();
}

// A serial port with something behind it: a pseudo-terminal's device end, or
// a terminal of the kernel's backed by a device. A built-in port whose UART
// type the kernel could not tell (type 0) has no hardware behind its node.
bool isSerialDevice(const struct stat &info)
{
    if (!S_ISCHR(info.st_mode))
        return false;
    const unsigned majorNumber = major(info.st_rdev);
    if (majorNumber >= FirstPtySlaveMajor && majorNumber <= LastPtySlaveMajor)
        return true;
    if (!QFileInfo::exists(QStringLiteral("/sys/dev/char")))
        return true;   // no sysfs to ask: take the node's word for it
    const QString sys = QStringLiteral("/sys/dev/char/%1:%2").arg(majorNumber).arg(minor(info.st_rdev));
    if (!QFileInfo(sys + QLatin1String("/subsystem")).canonicalFilePath().endsWith(QLatin1String("/class/tty")))
        return false;
    if (!QFileInfo::exists(sys + QLatin1String("/device")))
        return false;   // virtual consoles and the like
    QFile type(sys + QLatin1String("/type"));
    return !type.open(QIODevice::ReadOnly) || type.readAll().trimmed() != "0";
}

// Processes other than this one with a descriptor on the device.
QList<PortHolder> processesWithOpenDevice(const QString &canonicalPath)
{
    QList<PortHolder> holders;
    const QByteArray target = QFile::encodeName(canonicalPath);
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return holders;
    const qint64 self = ::getpid();
    while (dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const qint64 pid = std::strtoll(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const QByteArray fdFolder = "/proc/" + QByteArray(entry->d_name) + "/fd";
        DIR *fds = ::opendir(fdFolder.constData());
        if (!fds)
            continue;   // another user's process: not ours to see
        while (dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            char link[256];
            const QByteArray path = fdFolder + '/' + fd->d_name;
            const ssize_t n = ::readlink(path.constData(), link, sizeof link);
            if (n == target.size() && memcmp(link, target.constData(), size_t(n)) == 0) {
                holders.append({pid, programOf(pid)});
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return holders;
}

} // namespace

QString lockFileName(const QString &canonicalPath)
{
    QString name = canonicalPath;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

QList<PortHolder> deviceHolders(const QString &canonicalPath)
{
    QList<PortHolder> holders = processesWithOpenDevice(canonicalPath);
    const QString name = lockFileName(canonicalPath);
    for (const QString &dir : lockDirectories()) {
        const pid_t owner = lockFileOwner(dir + QLatin1Char('/') + name);
        const bool known = std::any_of(holders.begin(), holders.end(),
                                       [&](const PortHolder &h) { return h.pid == owner; });
        if (owner != ::getpid() && isProcessAlive(owner) && !known)
            holders.append({owner, programOf(owner)});
    }
    return holders;
}

bool isConsoleDevice(const QString &canonicalPath, const QString &consoleList)
{
    if (canonicalPath == QLatin1String("/dev/console"))
        return true;
    QFile file(consoleList);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString relative = canonicalPath.startsWith(QLatin1String("/dev/")) ? canonicalPath.mid(5)
                                                                              : canonicalPath;
    const QStringList active = QString::fromLatin1(file.readAll()).simplified().split(QLatin1Char(' '));
    return active.contains(relative);
}

PortProbe probeDevice(const QString &devicePath, const QString &consoleList)
{
    PortProbe probe;
    if (devicePath.isEmpty())
        return probe;
    probe.resolved = canonicalDevicePath(devicePath);
    const QByteArray name = QFile::encodeName(probe.resolved);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !isSerialDevice(info))
        return probe;
    if (isConsoleDevice(probe.resolved, consoleList)) {
        probe.state = PortState::Console;
        return probe;
    }
    if (::access(name.constData(), R_OK | W_OK) != 0) {
        probe.state = errno == EACCES || errno == EPERM || errno == EROFS ? PortState::NoPermission
                                                                           : PortState::Missing;
        return probe;
    }
    probe.holders = deviceHolders(probe.resolved);
    probe.state = probe.holders.isEmpty() ? PortState::Free : PortState::Held;
    return probe;
}

bool isHeldExclusively(const QString &canonicalPath)
{
    const int fd = ::open(QFile::encodeName(canonicalPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    const bool held = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive;
    ::close(fd);
    return held;
}

int ProbeCommPort(int portNumber, int &handle)
{
    handle = InvalidHandle;
    const PortState state = probeDevice(portDevicePath(portNumber)).state;
    if (state == PortState::Missing)
        return 0;
    if (state == PortState::Free)
        handle = portNumber;
    return 1;
}

bool isPortFree(int portNumber)
{
    int handle = InvalidHandle;
    return ProbeCommPort(portNumber, handle) != 0 && handle != InvalidHandle;
}

QStringList scanFreePorts(int alsoListed)
{
    QStringList entries;
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        if (number == alsoListed || isPortFree(number))
            entries.append(QString::number(number));
    }
    return entries;
}

bool anyPortWithoutPermission()
{
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        if (probeDevice(portDevicePath(number)).state == PortState::NoPermission)
            return true;
    }
    return false;
}
