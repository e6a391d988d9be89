// Port numbers 1..256 on a system without COM names: built-in device families,
// overridden by the per-user "ports" map of the settings store.
#pragma once

#include "serial/usersettings.h"

#include <QString>
#include <QStringList>

constexpr int FirstPortNumber = 1;
constexpr int LastPortNumber = 256;

// The chosen port number, as decimal text; written only when the user picks a port.
constexpr const char *SavedPortKey = "comm/port";

// The device a port number stands for, or empty when it stands for none.
// "auto" in the map switches the built-in families: true/false, yes/no, on/off,
// 1/0 in any case; anything else leaves them off.
QString portDevicePath(int portNumber);

// The same for many numbers, with the settings read once.
class PortMap
{
public:
    PortMap();
    QString devicePath(int portNumber) const;

private:
    UserSettings m_settings;
    bool m_builtIn;
};
// An "auto" in the port map that says neither yes nor no: the built-in devices stay off.
struct PortSwitchFault {
    bool faulty = false;
    QString value;         // as written, when it is text
    bool special = false;  // a value of the settings' own kind, not text
    QString file;          // the settings file it is in
};
PortSwitchFault portSwitchFault();
// The same, with symlinks resolved: one device, one lock, whatever its name.
QString canonicalDevicePath(const QString &path);

// The saved port (empty when never saved); only the window's port choice writes it.
QString savedPortName();
// The port the person picked, kept for the next start (as decimal text).
void savePortName(const QString &name);
// Which of the listed ports start-up takes: the saved one when listed, else the
// first. The index into entries, or -1 when there are none.
int startupEntry(const QStringList &entries, const QString &saved);
