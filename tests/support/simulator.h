// The reader simulator as a child process, for tests that need the reader on
// the other end of a real pseudo-terminal.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class SimulatorProcess
{
public:
    ~SimulatorProcess();
    // Starts reader-sim with the arguments and waits for its device path.
    bool start(const QStringList &arguments);
    QString devicePath() const { return m_devicePath; }
    // The requests received so far, each as "01 00 ... 21".
    QStringList requests();
    // Whether it is done with the record written last (frame: the request sent last), as a test
    // clock waits for it; a dump request is always done, it cannot finish before it is read.
    bool doneWith(const QByteArray &frame);
    // Ends it as a user would (SIGTERM); true when it ended cleanly.
    bool stop();
    bool waitForEnd(int ms);   // for simulators that hang up by themselves
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_devicePath;
    QByteArray m_output;
    // Its request log goes to a file: a pipe nobody reads while a transfer runs
    // (no event loop turns in a test's transfer) would fill and stop the simulator.
    QTemporaryDir m_logDir;
    QString m_log;
    qint64 m_logRead = 0;
    QByteArray m_lastRequest;
    bool m_lastDone = false;
};

// Where the build put the simulator.
QString simulatorProgram();
