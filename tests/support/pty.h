// Pseudo-terminals standing in for serial devices, and other programs holding them.
#pragma once

#include <QProcess>
#include <QString>

// A bare pseudo-terminal pair: a device nobody uses, as a port with a cable
// and no program on it. Its device end is set up raw and let go.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString path() const { return m_path; }
    int master() const { return m_master; }
    void closeMaster();   // the far end hangs up, the device goes away

private:
    int m_master = -1;
    QString m_path;
};

// A program that took the device with an exclusive lock (TIOCEXCL), as
// terminal programs do; held in this process, so only opening the device shows it.
class ExclusiveHold
{
public:
    explicit ExclusiveHold(const QString &devicePath);
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold &) = delete;
    ExclusiveHold &operator=(const ExclusiveHold &) = delete;
    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// Another program with the device open, in a process of its own ("sleep").
class DeviceHolder
{
public:
    explicit DeviceHolder(const QString &devicePath);
    ~DeviceHolder();
    bool isValid() const;
    qint64 pid() const { return m_process.processId(); }

private:
    QString m_path;
    QProcess m_process;
};
