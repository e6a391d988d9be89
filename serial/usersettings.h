// The per-user settings store, used only when it is the person's own: the
// settings file, its folder and the folder above belong to them and nobody
// else may write them (one of theirs that others may write is tightened).
// Whoever could write it would decide which device receives the codes and
// which slots of a reader are written. Not trusted, it is neither read nor
// written: no port map and no built-in ports, no saved port, no known reader.
//
// The store is never opened by its name: the folder above and the settings
// folder are opened without following a link and judged on what was opened,
// the file is opened through that folder without blocking (a FIFO planted
// there is judged, never waited on) and its bytes are read from it. QSettings
// works on a private copy; what changed goes back into the file through the
// same folder, merged with what others wrote meanwhile, as a new file renamed
// into place. A folder swapped by someone else after it was judged is never used.
#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// The per-user settings store of the program: QSettings(SettingsOrganization, SettingsApplication).
constexpr const char *SettingsOrganization = "alap";
constexpr const char *SettingsApplication = "alap";

class UserSettings
{
public:
    enum Trust { Own, NotOwn, Link, NotRegular };

    UserSettings();
    ~UserSettings();   // what changed is written back
    UserSettings(const UserSettings &) = delete;
    UserSettings &operator=(const UserSettings &) = delete;

    Trust trust() const { return m_trust; }
    bool isTrusted() const { return m_trust == Own; }
    QString fileName() const { return m_path; }
    QString untrustedPath() const { return m_where; }   // the file or folder found wanting

    bool contains(const QString &key) const { return isTrusted() && m_settings->contains(key); }
    QVariant value(const QString &key) const { return isTrusted() ? m_settings->value(key) : QVariant(); }
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // The store itself, for groups; nullptr when it is not trusted.
    QSettings *store() { return isTrusted() ? m_settings.get() : nullptr; }

private:
    bool openFolders();
    bool readFile(QByteArray &bytes);
    void writeBack();
    void untrusted(Trust trust, const QString &where);

    QString m_path;      // the settings file, for words
    Trust m_trust = Own;
    QString m_where;
    int m_above = -1;    // the config folder, as opened and judged
    int m_folder = -1;   // the settings folder in it; -1: not made yet
    QTemporaryDir m_private;   // the copy QSettings reads and writes
    QString m_copy;
    QByteArray m_loaded;   // the store's bytes as they were read
    std::unique_ptr<QSettings> m_settings;
};
