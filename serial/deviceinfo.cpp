#include "serial/deviceinfo.h"
#include "serial/smallfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QString attribute(const QDir &folder, const char *name)
{
    const auto content = readSmallFile(folder.filePath(QLatin1String(name)), 256);
    const QString value = content ? QString::fromUtf8(*content).trimmed() : QString();
    return value.isEmpty() ? QString() : value;
}

std::optional<quint16> hexAttribute(const QDir &folder, const char *name)
{
    bool ok = false;
    const uint value = attribute(folder, name).toUInt(&ok, 16);
    return ok && value <= 0xFFFF ? std::optional<quint16>(quint16(value)) : std::nullopt;
}

} // namespace

DeviceIdentity identityFromSysfs(const QString &deviceFolder)
{
    DeviceIdentity identity;
    // The terminal hangs off a USB interface; the USB device that has the ids is above it.
    QDir folder(deviceFolder);
    for (int up = 0; up < 4 && !folder.exists(QStringLiteral("idVendor")); ++up) {
        if (!folder.cdUp())
            return identity;
    }
    if (!folder.exists(QStringLiteral("idVendor")))
        return identity;
    identity.vendorId = hexAttribute(folder, "idVendor");
    identity.productId = hexAttribute(folder, "idProduct");
    identity.manufacturer = attribute(folder, "manufacturer");
    identity.product = attribute(folder, "product");
    identity.serialNumber = attribute(folder, "serial");
    return identity;
}

DeviceIdentity deviceIdentity(const QString &canonicalPath)
{
    struct stat info;
    if (::stat(QFile::encodeName(canonicalPath).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return {};
    const QString device = QFileInfo(QStringLiteral("/sys/dev/char/%1:%2/device")
                                         .arg(major(info.st_rdev))
                                         .arg(minor(info.st_rdev)))
                               .canonicalFilePath();
    return device.isEmpty() ? DeviceIdentity() : identityFromSysfs(device);
}
