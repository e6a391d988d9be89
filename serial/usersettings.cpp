#include "serial/usersettings.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A path not there yet is fine: the store makes it, as this user. The
// person's own config folder is only looked at (a group may share it); the
// store's own folder and file are made private to writing where they are not.
UserSettings::Trust trustOf(const QString &path, bool folder, bool tighten)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT ? UserSettings::Own : UserSettings::NotRegular;
    if (S_ISLNK(info.st_mode))
        return UserSettings::Link;
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))
        return UserSettings::NotRegular;
    if (info.st_uid != ::geteuid())
        return UserSettings::NotOwn;
    if (!tighten)
        return (info.st_mode & S_IWOTH) ? UserSettings::NotOwn : UserSettings::Own;
    if ((info.st_mode & 022) != 0 && ::chmod(name.constData(), info.st_mode & 07755) != 0)
        return UserSettings::NotOwn;
    return UserSettings::Own;
}

} // namespace

UserSettings::UserSettings() : m_settings(std::make_unique<QSettings>(SettingsOrganization, SettingsApplication))
{
    const QString file = m_settings->fileName();
    const QString folder = QFileInfo(file).absolutePath();
    const QString above = QFileInfo(folder).absolutePath();
    for (const auto &[path, isFolder] : {std::pair{above, true}, {folder, true}, {file, false}}) {
        m_trust = trustOf(path, isFolder, path != above);
        if (m_trust != Own) {
            m_where = path;
            return;
        }
    }
}

void UserSettings::setValue(const QString &key, const QVariant &value)
{
    if (isTrusted())
        m_settings->setValue(key, value);
}

void UserSettings::remove(const QString &key)
{
    if (isTrusted())
        m_settings->remove(key);
}
