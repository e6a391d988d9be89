#include "serial/portmap.h"

#include <QFileInfo>
#include <QSettings>

namespace {

struct Family {
    int first;
    const char *prefix;
};
// 32 numbers a family; nothing built in above 128.
constexpr Family BuiltInFamilies[] = {
    {1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}, {97, "/dev/ttyAMA"}};
constexpr int FamilySize = 32;

} // namespace

QString portDevicePath(int portNumber)
{
    if (portNumber < FirstPortNumber || portNumber > LastPortNumber)
        return {};
    QSettings settings(SettingsOrganization, SettingsApplication);
    settings.beginGroup(QStringLiteral("ports"));
    const QString mapped = settings.value(QString::number(portNumber)).toString().trimmed();
    if (!mapped.isEmpty())
        return mapped;
    if (!settings.value(QStringLiteral("auto"), true).toBool())
        return {};
    for (const Family &family : BuiltInFamilies) {
        if (portNumber >= family.first && portNumber < family.first + FamilySize)
            return QLatin1String(family.prefix) + QString::number(portNumber - family.first);
    }
    return {};
}

QString canonicalDevicePath(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

QString portDisplayName(int portNumber)
{
    return QStringLiteral("COM%1").arg(portNumber);
}

QString savedPortName()
{
    return QSettings(SettingsOrganization, SettingsApplication).value(QLatin1String(SavedPortKey)).toString();
}

int startupEntry(const QStringList &entries, const QString &saved)
{
    if (entries.isEmpty())
        return -1;
    return qMax(int(entries.indexOf(saved)), 0);
}
