#include "tests/support/pty.h"

#include <QFile>
#include <QThread>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        closeMaster();
        return;
    }
    m_path = QString::fromLocal8Bit(::ptsname(m_master));
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        closeMaster();
        return;
    }
    termios raw;
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
}

PseudoTerminal::~PseudoTerminal()
{
    closeMaster();
}

void PseudoTerminal::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

ExclusiveHold::ExclusiveHold(const QString &devicePath)
{
    m_fd = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0 && ::ioctl(m_fd, TIOCEXCL) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

ExclusiveHold::~ExclusiveHold()
{
    if (m_fd < 0)
        return;
    ::ioctl(m_fd, TIOCNXCL);   // the flag outlives the descriptor on a pseudo-terminal
    ::close(m_fd);
}

DeviceHolder::DeviceHolder(const QString &devicePath) : m_path(devicePath)
{
    // The shell opens the device for sleep's standard input, read and write.
    m_process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec sleep 600 <>\"$0\""), devicePath});
    m_process.waitForStarted(5000);
    // Started is not yet opened: wait until the descriptor shows.
    for (int i = 0; i < 200 && !isValid(); ++i)
        QThread::msleep(10);
}

DeviceHolder::~DeviceHolder()
{
    m_process.kill();
    m_process.waitForFinished(2000);
}

bool DeviceHolder::isValid() const
{
    // The shell opens the device before it becomes sleep: both must have happened.
    QFile comm(QStringLiteral("/proc/%1/comm").arg(m_process.processId()));
    return m_process.state() == QProcess::Running && comm.open(QIODevice::ReadOnly)
        && comm.readAll().trimmed() == "sleep"
        && QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(m_process.processId())) == m_path;
}
