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

QString portDevicePath(int portNumber)
{
    if (portNumber < FirstPortNumber || portNumber > LastPortNumber)
        return {};
    const UserSettings settings;
    const QString mapped = settings.value(QStringLiteral("ports/%1").arg(portNumber)).toString().trimmed();
    if (!mapped.isEmpty())
        return mapped;
    if (!builtInPortsOn(settings))
        return {};
    for (const Family &family : BuiltInFamilies) {
        if (portNumber >= family.first && portNumber < family.first + FamilySize)
            return QLatin1String(family.prefix) + QString::number(portNumber - family.first);
    }
    return {};
}

QString portMapProblem()
{
    const UserSettings settings;
    const QVariant value = settings.value(QStringLiteral("ports/auto"));
    if (!settings.contains(QStringLiteral("ports/auto")) || switchValue(value))
        return {};
    const QString shown = value.typeId() == QMetaType::QString ? value.toString()
                                                                : QStringLiteral("(a beállítások különleges értéke)");
    return QStringLiteral("A beállítások [ports] részében az auto=%1 érték nem értelmezhető (%2); "
                          "a gép saját soros portjai ki vannak kapcsolva. Használható: true/false, yes/no, on/off, 1/0.")
        .arg(shown, settings.fileName());
}

QString canonicalDevicePath(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

QString portDisplayName(int portNumber)
{
    // The ending follows how the number's last word sounds: egyes, hármas, ötös, hatos, húszas, százas...
    static const char *const units[] = {"", "es", "es", "as", "es", "ös", "os", "es", "as", "es"};
    static const char *const tens[] = {"", "es", "as", "as", "es", "es", "as", "es", "as", "es"};
    const int n = qAbs(portNumber);
    const char *ending = n % 10 ? units[n % 10] : n % 100 ? tens[n / 10 % 10] : n % 1000 ? "as" : "es";
    return QStringLiteral("%1-%2 port").arg(portNumber).arg(QString::fromUtf8(ending));
}

QString thePort(int portNumber, bool capital)
{
    // "az" before a vowel: egy (1), öt (5), ötven (50-59).
    const bool vowel = portNumber == 1 || portNumber == 5 || (portNumber >= 50 && portNumber <= 59);
    const QString article = vowel ? QStringLiteral("az") : QStringLiteral("a");
    return (capital ? article.left(1).toUpper() + article.mid(1) : article) + QLatin1Char(' ')
        + portDisplayName(portNumber);
}

QString savedPortName()
{
    return UserSettings().value(QLatin1String(SavedPortKey)).toString();
}

int startupEntry(const QStringList &entries, const QString &saved)
{
    if (entries.isEmpty())
        return -1;
    return qMax(int(entries.indexOf(saved)), 0);
}
