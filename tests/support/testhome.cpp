#include "tests/support/testhome.h"
#include "serial/portmap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <sys/stat.h>

TestHome::TestHome()
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());   // snapshots go there
    qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    // Notes of dumps not heard out go there: a test's stopped dump is no other test's business.
    QDir().mkpath(m_dir.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                         | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", m_dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
    // Hints of dumps abandoned by any account: the test's own shared folder, sticky as the system's.
    QDir().mkpath(m_dir.filePath(QStringLiteral("shared")));
    ::chmod(QFile::encodeName(m_dir.filePath(QStringLiteral("shared"))).constData(), 01777);
    qputenv("VIVADIZUZUD_SHARED_NOTES", m_dir.filePath(QStringLiteral("shared")).toLocal8Bit());
    qputenv("VIVADIZUZUD_INSTANCE",
            QByteArray("vivadizuzud-test-") + QByteArray::number(QCoreApplication::applicationPid()));
    reset();
}

void TestHome::reset()
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    settings.clear();
    settings.setValue(QStringLiteral("ports/auto"), false);
    settings.sync();
}

QString TestHome::settingsFile() const
{
    return m_dir.filePath(QStringLiteral("alap/alap.conf"));
}

void TestHome::mapPort(int portNumber, const QString &devicePath)
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    const QString key = QStringLiteral("ports/%1").arg(portNumber);
    if (devicePath.isEmpty())
        settings.remove(key);
    else
        settings.setValue(key, devicePath);
    settings.sync();
}

void TestHome::setSavedPort(const QString &value)
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    if (value.isEmpty())
        settings.remove(QLatin1String(SavedPortKey));
    else
        settings.setValue(QLatin1String(SavedPortKey), value);
    settings.sync();
}

QString TestHome::savedPort()
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    return settings.value(QLatin1String(SavedPortKey)).toString();
}
