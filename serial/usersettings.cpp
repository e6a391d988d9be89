#include "serial/usersettings.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// No settings file the program writes comes near this; a bigger one is read no further.
constexpr qint64 MaxSettingsBytes = 4 << 20;
constexpr int NoFollow = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

QByteArray storeFileName()
{
    return QByteArray(SettingsApplication) + ".conf";
}

// What an opened folder or file is to the store. The person's own config folder is only looked
// at (a group may share it); the store's own folder and file are made private to writing.
UserSettings::Trust judge(int fd, bool folder, bool tighten)
{
    struct stat info;
    if (::fstat(fd, &info) != 0 || (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)))
        return UserSettings::NotRegular;
    if (info.st_uid != ::geteuid())
        return UserSettings::NotOwn;
    if (!tighten)
        return (info.st_mode & S_IWOTH) ? UserSettings::NotOwn : UserSettings::Own;
    if ((info.st_mode & 022) != 0 && ::fchmod(fd, info.st_mode & 07755) != 0)
        return UserSettings::NotOwn;
    return UserSettings::Own;
}

// Why an open without following a link failed, for a name that is there.
UserSettings::Trust refusal(int error)
{
    return error == ELOOP ? UserSettings::Link : UserSettings::NotRegular;
}

bool writeAllTo(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

UserSettings::UserSettings()
{
    const QString above = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_path = above + QLatin1Char('/') + QLatin1String(SettingsOrganization) + QLatin1Char('/') + QString::fromLatin1(storeFileName());
    QByteArray bytes;
    if (!openFolders() || !readFile(bytes))
        return;
    // QSettings reads and writes its own private copy; the store's file is never opened by name.
    m_copy = m_private.filePath(QStringLiteral("settings.conf"));
    QFile copy(m_copy);
    if (!m_private.isValid() || !copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) {
        untrusted(NotRegular, m_private.path());
        return;
    }
    copy.close();
    m_loaded = bytes;
    m_settings = std::make_unique<QSettings>(m_copy, QSettings::IniFormat);
}

UserSettings::~UserSettings()
{
    writeBack();
    m_settings.reset();
    for (int fd : {m_folder, m_above}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void UserSettings::untrusted(Trust trust, const QString &where)
{
    m_trust = trust;
    m_where = where;
}

bool UserSettings::openFolders()
{
    const QString above = QFileInfo(QFileInfo(m_path).path()).path();
    const QByteArray aboveName = QFile::encodeName(above);
    m_above = ::open(aboveName.constData(), O_RDONLY | O_DIRECTORY | NoFollow);
    if (m_above < 0 && errno == ENOENT && QDir().mkpath(above))   // a new account: made as the person's own
        m_above = ::open(aboveName.constData(), O_RDONLY | O_DIRECTORY | NoFollow);
    if (m_above < 0) {
        untrusted(refusal(errno), above);
        return false;
    }
    if (const Trust trust = judge(m_above, true, false); trust != Own) {
        untrusted(trust, above);
        return false;
    }
    m_folder = ::openat(m_above, SettingsOrganization, O_RDONLY | O_DIRECTORY | NoFollow);
    if (m_folder < 0 && errno != ENOENT) {   // missing: made when something is kept
        untrusted(refusal(errno), QFileInfo(m_path).path());
        return false;
    }
    if (m_folder >= 0) {
        if (const Trust trust = judge(m_folder, true, true); trust != Own) {
            untrusted(trust, QFileInfo(m_path).path());
            return false;
        }
    }
    return true;
}

// The store's bytes, read from the file opened in the folder that was judged; none when it is not there yet.
bool UserSettings::readFile(QByteArray &bytes)
{
    bytes.clear();
    if (m_folder < 0)
        return true;
    const int fd = ::openat(m_folder, storeFileName().constData(), O_RDONLY | NoFollow);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        untrusted(refusal(errno), m_path);
        return false;
    }
    if (const Trust trust = judge(fd, false, true); trust != Own) {
        ::close(fd);
        untrusted(trust, m_path);
        return false;
    }
    char chunk[65536];
    ssize_t n = 0;
    while (bytes.size() < MaxSettingsBytes && ((n = ::read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)))
        bytes.append(chunk, qMax<ssize_t>(n, 0));
    ::close(fd);
    if (n < 0 || bytes.size() >= MaxSettingsBytes) {
        untrusted(NotRegular, m_path);
        return false;
    }
    return true;
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

// What this program changed (the keys it added, changed or removed since it read the store) put
// into what the file holds now, kept by another program meanwhile, and written as a new file
// renamed into place in the folder that was judged: one program at a time, by a lock on it.
void UserSettings::writeBack()
{
    if (!isTrusted() || !m_settings)
        return;
    m_settings->sync();
    QFile copy(m_copy);
    if (!copy.open(QIODevice::ReadOnly) || copy.readAll() == m_loaded)
        return;   // nothing changed
    copy.close();
    if (m_folder < 0) {
        ::mkdirat(m_above, SettingsOrganization, 0700);
        m_folder = ::openat(m_above, SettingsOrganization, O_RDONLY | O_DIRECTORY | NoFollow);
        if (m_folder < 0 || judge(m_folder, true, true) != Own)
            return;
    }
    ::flock(m_folder, LOCK_EX);
    QByteArray now;
    const QString beforePath = m_private.filePath(QStringLiteral("before.conf"));
    const QString targetPath = m_private.filePath(QStringLiteral("now.conf"));
    QFile before(beforePath), target(targetPath);
    if (readFile(now) && before.open(QIODevice::WriteOnly) && before.write(m_loaded) == m_loaded.size()
        && target.open(QIODevice::WriteOnly) && target.write(now) == now.size()) {
        before.close();
        target.close();
        QByteArray merged;
        {
            const QSettings was(beforePath, QSettings::IniFormat);
            QSettings into(targetPath, QSettings::IniFormat);
            for (const QString &key : m_settings->allKeys()) {
                const QVariant mine = m_settings->value(key);
                if (!was.contains(key) || was.value(key) != mine)
                    into.setValue(key, mine);
            }
            for (const QString &key : was.allKeys()) {
                if (!m_settings->contains(key))
                    into.remove(key);
            }
            into.sync();
            if (into.status() == QSettings::NoError && target.open(QIODevice::ReadOnly))
                merged = target.readAll();
        }
        if (!merged.isNull() && merged != now) {
            const QByteArray temporary = "." + storeFileName() + "." + QByteArray::number(QRandomGenerator::system()->generate(), 16);
            const int fd = ::openat(m_folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | NoFollow, 0600);
            const bool written = fd >= 0 && writeAllTo(fd, merged) && ::fsync(fd) == 0;
            if (fd >= 0)
                ::close(fd);
            if (!written || ::renameat(m_folder, temporary.constData(), m_folder, storeFileName().constData()) != 0)
                ::unlinkat(m_folder, temporary.constData(), 0);
        }
    }
    ::flock(m_folder, LOCK_UN);
}
