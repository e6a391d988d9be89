#include "serial/modwinapi.h"
#include "serial/portmap.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const LockDirectories[] = {"/var/lock", "/run/lock"};

bool isProcessAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
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

} // namespace

QString lockFileName(const QString &canonicalPath)
{
    QString name = canonicalPath;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

bool isLockedByOtherProcess(const QString &canonicalPath)
{
    const QString name = lockFileName(canonicalPath);
    for (const char *dir : LockDirectories) {
        const pid_t owner = lockFileOwner(QLatin1String(dir) + QLatin1Char('/') + name);
        if (owner != ::getpid() && isProcessAlive(owner))
            return true;
    }
    return false;
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

PortState probeDevice(const QString &devicePath, int *descriptor, const QString &consoleList)
{
    if (descriptor)
        *descriptor = InvalidHandle;
    if (devicePath.isEmpty())
        return PortState::Missing;
    const QString path = canonicalDevicePath(devicePath);
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return PortState::Missing;
    // The console and a locked port are never opened: opening a tty can drop or
    // raise its modem lines under whoever is using it.
    if (isConsoleDevice(path, consoleList) || isLockedByOtherProcess(path))
        return PortState::Held;

    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case EACCES: case EPERM: return PortState::NoPermission;
        case EBUSY: return PortState::Held;
        default: return PortState::Missing;   // no such hardware behind the node
        }
    }
    if (descriptor)
        *descriptor = fd;
    PortState state = PortState::Free;
    int exclusive = 0;
    if (!::isatty(fd))
        state = PortState::Missing;
    else if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        state = PortState::Held;   // root gets past TIOCEXCL, so it is asked for explicitly
    ::close(fd);
    return state;
}

int ProbeCommPort(int portNumber, int &handle)
{
    handle = InvalidHandle;
    int descriptor = InvalidHandle;
    const PortState state = probeDevice(portDevicePath(portNumber), &descriptor);
    if (state == PortState::Missing)
        return 0;
    if (state == PortState::Free)
        handle = descriptor;
    return 1;
}

bool isPortFree(int portNumber)
{
    int handle = InvalidHandle;
    return ProbeCommPort(portNumber, handle) != 0 && handle != InvalidHandle;
}

bool anyPortWithoutPermission()
{
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        if (probeDevice(portDevicePath(number)) == PortState::NoPermission)
            return true;
    }
    return false;
}
