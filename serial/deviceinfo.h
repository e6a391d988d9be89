// What a serial device is, as far as the system knows: the USB identity of the
// adapter behind it. Read from sysfs; nothing is opened (Qt's own port
// information opens built-in ports to check them, the console among them).
#pragma once

#include <QString>
#include <optional>

struct DeviceIdentity {
    std::optional<quint16> vendorId, productId;
    QString manufacturer, product, serialNumber;   // null when unknown
};

DeviceIdentity deviceIdentity(const QString &canonicalPath);
// The same, from the sysfs folder of the device behind the terminal.
DeviceIdentity identityFromSysfs(const QString &deviceFolder);
