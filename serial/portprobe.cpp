#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "serial/smallfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Device numbers of the pseudo-terminals' device ends.
constexpr unsigned FirstPtySlaveMajor = 136;
constexpr unsigned LastPtySlaveMajor = 143;

// /proc/locks has a line per lock on the machine; a busy one has some thousands.
constexpr qsizetype ProcLocksBytes = 1024 * 1024;

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
    const auto type = readSmallFile(sys + QLatin1String("/type"), 16);
    return !type || type->trimmed() != "0";
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

// Processes other than this one holding a flock() on the device. /proc/locks
// shows every user's locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:3 0 EOF",
// the file named by the device number of its file system (hex) and its inode.
QList<qint64> flockHolders(const QString &canonicalPath)
{
    QList<qint64> pids;
    struct stat info;
    const auto locks = readSmallFile(QStringLiteral("/proc/locks"), ProcLocksBytes);
    if (!locks || ::stat(QFile::encodeName(canonicalPath).constData(), &info) != 0)
        return pids;
    const QByteArray file = QByteArray::number(major(info.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(minor(info.st_dev), 16).rightJustified(2, '0') + ':' + QByteArray::number(quint64(info.st_ino));
    for (const QByteArray &line : locks->split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // A waiting lock is marked "->" and shifts its fields by one; it holds nothing.
        if (fields.size() < 6 || fields[1] != "FLOCK" || fields[5] != file)
            continue;
        const qint64 pid = fields[4].toLongLong();
        if (pid != ::getpid() && !pids.contains(pid))
            pids.append(pid);
    }
    return pids;
}

} // namespace

QList<PortHolder> deviceHolders(const QString &canonicalPath)
{
    QList<PortHolder> holders = processesWithOpenDevice(canonicalPath);
    const auto add = [&](qint64 pid) {
        if (std::none_of(holders.begin(), holders.end(), [&](const PortHolder &h) { return h.pid == pid; }))
            holders.append({pid, pid > 0 ? programOf(pid) : QString()});
    };
    for (const qint64 pid : flockHolders(canonicalPath))
        add(pid);
    const QString name = lockFileName(canonicalPath);
    for (const QString &dir : lockDirectories()) {
        if (const auto holder = lockFileHolder(dir + QLatin1Char('/') + name))
            add(holder->pid);
    }
    return holders;
}

bool isConsoleDevice(const QString &canonicalPath, const QString &consoleList)
{
    if (canonicalPath == QLatin1String("/dev/console"))
        return true;
    const auto list = readSmallFile(consoleList, 4096);
    if (!list)
        return false;
    const QString relative = canonicalPath.startsWith(QLatin1String("/dev/")) ? canonicalPath.mid(5)
                                                                              : canonicalPath;
    const QStringList active = QString::fromLatin1(*list).simplified().split(QLatin1Char(' '));
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

int ProbeCommPort(int portNumber, int &handle, const PortMap &map)
{
    handle = InvalidHandle;
    const PortState state = probeDevice(map.devicePath(portNumber)).state;
    if (state == PortState::Missing)
        return 0;
    if (state == PortState::Free)
        handle = portNumber;
    return 1;
}

bool isPortFree(int portNumber, const PortMap &map)
{
    int handle = InvalidHandle;
    return ProbeCommPort(portNumber, handle, map) != 0 && handle != InvalidHandle;
}

QStringList scanFreePorts(int alsoListed)
{
    QStringList entries;
    const PortMap map;
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        if (number == alsoListed || isPortFree(number, map))
            entries.append(QString::number(number));
    }
    return entries;
}

QList<std::pair<int, PortProbe>> portsNotFree()
{
    QList<std::pair<int, PortProbe>> ports;
    const PortMap map;
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        const PortProbe probe = probeDevice(map.devicePath(number));
        if (probe.state == PortState::NoPermission || probe.state == PortState::Held)
            ports.append({number, probe});
    }
    return ports;
}
