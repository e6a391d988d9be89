#include "tests/support/simulator.h"

#include "serial/frames.h"

#include <QDeadlineTimer>
#include <QFile>
#include <csignal>

QString simulatorProgram()
{
    return QStringLiteral(READER_SIM_PATH);
}

SimulatorProcess::~SimulatorProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        stop();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

bool SimulatorProcess::start(const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_log = m_logDir.filePath(QStringLiteral("requests.log"));
    m_process.start(simulatorProgram(), arguments + QStringList{QStringLiteral("--log"), m_log});
    if (!m_process.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    m_devicePath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return !m_devicePath.isEmpty();
}

QStringList SimulatorProcess::requests()
{
    QFile log(m_log);
    QStringList lines;
    if (!log.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line.startsWith("REQ "))
            lines.append(QString::fromLatin1(line.mid(4)).trimmed());
    }
    return lines;
}

bool SimulatorProcess::doneWith(const QByteArray &frame)
{
    if (frame.size() <= 9 || quint8(frame[9]) != WriteRecord || m_process.state() == QProcess::NotRunning)
        return true;
    QFile log(m_log);
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logRead))
        return false;
    QByteArray more = log.readAll();
    more.truncate(more.lastIndexOf('\n') + 1);   // whole lines only
    m_logRead += more.size();
    for (const QByteArray &line : more.split('\n')) {
        if (line.startsWith("REQ "))
            m_lastRequest = line.mid(4).trimmed();
        m_lastDone = line == "END" || (m_lastDone && line.isEmpty());
    }
    return m_lastDone && m_lastRequest == frame.toHex(' ').toUpper();
}

bool SimulatorProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    return waitForEnd(5000);
}

bool SimulatorProcess::waitForEnd(int ms)
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(ms))
        return false;
    m_output += m_process.readAllStandardOutput();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}
