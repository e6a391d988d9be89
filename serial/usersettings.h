// The per-user settings store, used only when it is the person's own: the
// settings file, its folder and the folder above belong to them and nobody
// else may write them (one of theirs that others may write is tightened).
// Whoever could write it would decide which device receives the codes and
// which slots of a reader are written. Not trusted, it is neither read nor
// written: no port map and no built-in ports, no saved port, no known reader.
#pragma once

#include <QSettings>
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
    Trust trust() const { return m_trust; }
    bool isTrusted() const { return m_trust == Own; }
    QString fileName() const { return m_settings->fileName(); }
    QString untrustedPath() const { return m_where; }   // the file or folder found wanting

    bool contains(const QString &key) const { return isTrusted() && m_settings->contains(key); }
    QVariant value(const QString &key) const { return isTrusted() ? m_settings->value(key) : QVariant(); }
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // The store itself, for groups; nullptr when it is not trusted.
    QSettings *store() { return isTrusted() ? m_settings.get() : nullptr; }

private:
    std::unique_ptr<QSettings> m_settings;
    Trust m_trust = Own;
    QString m_where;
};
