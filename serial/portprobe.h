// The port probe: is a port number there, and is it free for us? It finds out
// without opening the device: opening a serial port raises its modem control
// lines and closing it drops them, which resets many boards and can upset a
// modem or a UPS that another program is using.
#pragma once

#include "serial/lockfile.h"
#include "serial/portmap.h"

#include <QList>
#include <QString>
#include <QStringList>

constexpr int InvalidHandle = -1;

// Returns non-zero when the number stands for a serial device; handle is then
// other than InvalidHandle exactly when nobody else holds the port. Nothing is
// opened, so the handle stands for no descriptor.
// A port is free when the result is non-zero and handle is not InvalidHandle.
// map: the port map, read once for a whole scan.
int ProbeCommPort(int portNumber, int &handle, const PortMap &map = PortMap());

bool isPortFree(int portNumber, const PortMap &map = PortMap());

// The free ports 1..256 as the port list shows them, ascending, as decimal
// text; alsoListed (the port we hold ourselves) is listed whatever the probe says.
QStringList scanFreePorts(int alsoListed = 0);

enum class PortState { Missing, Free, Held, NoPermission, Console };

struct PortProbe {
    PortState state = PortState::Missing;
    QString resolved;            // the device with symlinks resolved
    QList<PortHolder> holders;   // as far as this user can see them
};

// The probe behind ProbeCommPort, on a device path. consoleList names the file
// that lists the console's devices (the kernel's, unless a test says otherwise).
PortProbe probeDevice(const QString &devicePath,
                      const QString &consoleList = QStringLiteral("/sys/class/tty/console/active"));

// Other programs holding the device: an open descriptor in another process
// (of the processes /proc lets this user see), a flock() on it (of any user),
// or a UUCP lock file that counts.
QList<PortHolder> deviceHolders(const QString &canonicalPath);
bool isConsoleDevice(const QString &canonicalPath, const QString &consoleList);

// The ports that are there but not free for us: held by another program, or
// not to be opened by this user (not in the dialout group). The console is left out.
QList<std::pair<int, PortProbe>> portsNotFree();
