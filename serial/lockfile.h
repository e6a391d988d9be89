// UUCP lock files ("LCK..ttyUSB0" holding a pid): how serial programs say a
// device is theirs. The lock folders are writable by every user, so a lock
// file is believed only when it is what it claims to be.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

// Another program with the device open or locked.
struct PortHolder {
    qint64 pid = 0;
    QString program;   // empty when the system does not say
};

// Where programs leave lock files; the last is where Qt's serial port puts
// its own when the system folders are not writable.
QStringList lockDirectories();
QString lockFileName(const QString &canonicalPath);   // "LCK..ttyUSB0", "LCK..pts_3"

// The program a lock file stands for, when it counts: a regular file (not a
// link, a FIFO or a device), naming a live process other than this one, and
// owned by that process's owner or by root. Anyone can write "1" into a lock
// file of a folder everyone may write; that names a process, but not its holder.
std::optional<PortHolder> lockFileHolder(const QString &path);

QString programOf(qint64 pid);   // the name /proc gives a process, or empty

// This program's lock file on a device while its port is open.
class DeviceLock
{
public:
    DeviceLock() = default;
    ~DeviceLock() { release(); }
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    // False when a lock file that counts names another program (it is put in
    // holder). Where no lock file can be written (no folder takes one, or a
    // file that does not count sits under the name and is not ours to remove),
    // the device is used without one.
    bool take(const QString &canonicalPath, PortHolder &holder);
    // Removes the lock file, if it is still the one written here.
    void release();

private:
    QByteArray m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
