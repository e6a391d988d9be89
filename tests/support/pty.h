// A bare pseudo-terminal pair, for tests that need a terminal device but no reader.
#pragma once

#include <QString>

class PseudoTerminal
{
public:
    PseudoTerminal();   // the slave side is kept open too, as a device stays present
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    QString path() const { return m_path; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    void closeMaster();   // the far end hangs up

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};
