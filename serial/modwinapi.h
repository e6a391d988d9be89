// The port probe: is a port number there, and is it free for us?
#pragma once

#include <QString>

constexpr int InvalidHandle = -1;

// Returns non-zero when the number stands for a terminal device; handle is then
// a valid (already closed) descriptor exactly when nobody else holds the port.
// A port is free when the result is non-zero and handle is not InvalidHandle.
int ProbeCommPort(int portNumber, int &handle);

bool isPortFree(int portNumber);

enum class PortState { Missing, Free, Held, NoPermission };
// The probe behind ProbeCommPort, on a device path. descriptor receives the
// descriptor the probe opened (and closed), or InvalidHandle. consoleList names
// the file that lists the console's devices (the kernel's, unless a test says otherwise).
PortState probeDevice(const QString &devicePath, int *descriptor = nullptr,
                      const QString &consoleList = QStringLiteral("/sys/class/tty/console/active"));

// Whether another live process holds a UUCP lock file for the device.
bool isLockedByOtherProcess(const QString &canonicalPath);
QString lockFileName(const QString &canonicalPath);   // "LCK..ttyUSB0", "LCK..pts_3"
bool isConsoleDevice(const QString &canonicalPath, const QString &consoleList);

// Whether some port exists that this user may not open (not in the dialout group).
bool anyPortWithoutPermission();
