#include "serial/portmap.h"
#include "serial/usersettings.h"

#include <QFileInfo>
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

// "auto" in the port map: plain words for on and off, in any case. The
// settings store's special values (@Invalid(), @ByteArray(...)) are none of them.
std::optional<bool> switchValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
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
bool builtInPortsOn(const UserSettings &settings)
{
    const QString key = QStringLiteral("ports/auto");
    return settings.isTrusted() && (!settings.contains(key) || switchValue(settings.value(key)).value_or(false));
}

} // namespace

PortMap::PortMap() : m_builtIn(builtInPortsOn(m_settings)) {}

QString PortMap::devicePath(int portNumber) const
{
    if (portNumber < FirstPortNumber || portNumber > LastPortNumber)
        return {};
    const QString mapped = m_settings.value(QStringLiteral("ports/%1").arg(portNumber)).toString().trimmed();
    if (!mapped.isEmpty())
        return mapped;
    if (!m_builtIn)
        return {};
    for (const Family &family : BuiltInFamilies) {
        if (portNumber >= family.first && portNumber < family.first + FamilySize)
            return QLatin1String(family.prefix) + QString::number(portNumber - family.first);
    }
    return {};
}

QString portDevicePath(int portNumber)
{
    return PortMap().devicePath(portNumber);
}

PortSwitchFault portSwitchFault()
{
    const UserSettings settings;
    const QVariant value = settings.value(QStringLiteral("ports/auto"));
    if (!settings.contains(QStringLiteral("ports/auto")) || switchValue(value))
        return {};
    const bool text = value.typeId() == QMetaType::QString;
    return {true, text ? value.toString() : QString(), !text, settings.fileName()};
}

QString canonicalDevicePath(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

QString savedPortName()
{
    return UserSettings().value(QLatin1String(SavedPortKey)).toString();
}

void savePortName(const QString &name)
{
    UserSettings().setValue(QLatin1String(SavedPortKey), name);
}

int startupEntry(const QStringList &entries, const QString &saved)
{
    if (entries.isEmpty())
        return -1;
    return qMax(int(entries.indexOf(saved)), 0);
}
