#include "serial/portmap.h"

#include <QFileInfo>
#include <QSettings>
#include <optional>

namespace {

struct Family {
    int first;
    const char *prefix;
};
// 32 numbers a family; nothing built in above 128.
constexpr Family BuiltInFamilies[] = {
    {1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}, {97, "/dev/ttyAMA"}};
constexpr int FamilySize = 32;

// "auto" in the port map: plain words for on and off, in any case.
std::optional<bool> switchValue(const QVariant &value)
{
    const QString word = value.toString().trimmed().toLower();
    for (const char *on : {"true", "yes", "on", "1"}) {
        if (word == QLatin1String(on))
            return true;
    }
    for (const char *off : {"false", "no", "off", "0"}) {
        if (word == QLatin1String(off))
            return false;
    }
    return std::nullopt;
}

// Unset means on; a value that is not understood means off: the machine's own
// ports, its console among them, stay out unless asked for plainly.
bool builtInPortsOn(const QVariant &value)
{
    return !value.isValid() || switchValue(value).value_or(false);
}

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
    if (!builtInPortsOn(settings.value(QStringLiteral("auto"))))
        return {};
    for (const Family &family : BuiltInFamilies) {
        if (portNumber >= family.first && portNumber < family.first + FamilySize)
            return QLatin1String(family.prefix) + QString::number(portNumber - family.first);
    }
    return {};
}

QString portMapProblem()
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    const QVariant value = settings.value(QStringLiteral("ports/auto"));
    if (!value.isValid() || switchValue(value))
        return {};
    return QStringLiteral("A beállítások [ports] részében az auto=%1 érték nem értelmezhető (%2); "
                          "a gép saját soros portjai ki vannak kapcsolva. Használható: true/false, yes/no, on/off, 1/0.")
        .arg(value.toString(), settings.fileName());
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
