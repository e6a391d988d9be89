// A throw-away settings home for a test process: the user's real settings are
// never read or written, built-in devices are off (so nothing touches the
// machine's own serial ports), and the single-instance name is private.
#pragma once

#include <QString>
#include <QTemporaryDir>

class TestHome
{
public:
    // Call before anything reads the settings: the store's location is fixed at first use.
    TestHome();
    QString path() const { return m_dir.path(); }
    QString settingsFile() const;   // .../alap/alap.conf
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Back to a fresh home: built-in devices off, no map, no saved port.
    static void reset();
    // Puts a device on a port number, or removes the number when devicePath is empty.
    static void mapPort(int portNumber, const QString &devicePath);
    static void setSavedPort(const QString &value);   // comm/port; empty removes it
    static QString savedPort();

private:
    QTemporaryDir m_dir;
};
