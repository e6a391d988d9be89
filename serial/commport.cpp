#include "serial/commport.h"
#include "serial/linetrace.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int WriteTimeoutMs = 2000;

speed_t speedOf(int baud)
{
    static const struct {
        int baud;
        speed_t speed;
    } speeds[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
                  {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
                  {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto &entry : speeds) {
        if (entry.baud == baud)
            return entry.speed;
    }
    return B0;
}

// Errors that say the device is gone, not that it has nothing to say.
bool isLineGone(int error)
{
    return error != EAGAIN && error != EWOULDBLOCK && error != EINTR;
}

} // namespace

bool parseLineSettings(const QString &text, LineSettings &out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    out.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || out.baud <= 0)
        return false;
    const QString parity = parts[1].trimmed().toLower();
    if (parity != QLatin1String("n") && parity != QLatin1String("e") && parity != QLatin1String("o"))
        return false;
    out.parity = parity.front().toLatin1();
    out.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || out.dataBits < 5 || out.dataBits > 8)
        return false;
    const QString stop = parts[3].trimmed();
    if (stop != QLatin1String("1") && stop != QLatin1String("2"))
        return false;
    out.stopBits = stop.toInt();
    return true;
}

CommPort::CommPort(QObject *parent) : QObject(parent)
{
    // With an event loop running (the window), what arrives while no transfer
    // asks is taken in as it comes, and a line that fails is noticed at once.
    m_notifier.setEnabled(false);
    connect(&m_notifier, &QSocketNotifier::activated, this, [this] { drain(); });
}

CommPort::~CommPort()
{
    close();
}

void CommPort::setPortNumber(int portNumber)
{
    m_portNumber = portNumber;
}

void CommPort::setReceiveBufferSize(int bytes)
{
    m_receiveBufferSize = bytes;
}

bool CommPort::setSettings(const QString &settings)
{
    LineSettings parsed;
    if (!parseLineSettings(settings, parsed))
        return false;
    m_settings = settings;
    return true;
}

bool CommPort::open()
{
    close();
    m_lineLost = false;
    m_devicePath = canonicalDevicePath(portDevicePath(m_portNumber));
    m_openFault = openDevice();
    if (m_openFault != OpenFault::None) {
        close();
        return false;
    }
    m_notifier.setSocket(m_fd);
    m_notifier.setEnabled(true);
    return true;
}

CommPort::OpenFault CommPort::openDevice()
{
    LineSettings line;
    if (!parseLineSettings(m_settings, line) || speedOf(line.baud) == B0)
        return OpenFault::BadSettings;
    // A held port is left alone; the probe does not open it to find out.
    switch (probeDevice(m_devicePath).state) {
    case PortState::Missing: return OpenFault::NoDevice;
    case PortState::Held: return OpenFault::Busy;
    case PortState::Console: return OpenFault::Console;
    case PortState::NoPermission: return OpenFault::NoPermission;
    case PortState::Free: break;
    }
    const int fd = ::open(QFile::encodeName(m_devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case ENOENT: case ENXIO: case ENODEV: return OpenFault::NoDevice;
        case EACCES: case EPERM: return OpenFault::NoPermission;
        case EBUSY: return OpenFault::Busy;   // another program's exclusive use
        default: return OpenFault::Other;
        }
    }
    // Root gets past another program's exclusive use, so root asks. Closing
    // this descriptor leaves that program's flag as it was.
    int exclusive = 0;
    PortHolder holder;
    if ((::geteuid() == 0 && ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || !m_lock.take(m_devicePath, holder)) {
        ::close(fd);
        return OpenFault::Busy;
    }
    m_fd = fd;
    ::ioctl(m_fd, TIOCEXCL);
    return configure() ? OpenFault::None : OpenFault::BadSettings;
}

bool CommPort::configure()
{
    LineSettings line;
    parseLineSettings(m_settings, line);
    termios tio;
    if (::tcgetattr(m_fd, &tio) != 0)
        return false;
    m_found = tio;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag |= line.dataBits == 5 ? CS5 : line.dataBits == 6 ? CS6 : line.dataBits == 7 ? CS7 : CS8;
    if (line.parity != 'n')
        tio.c_cflag |= PARENB | (line.parity == 'o' ? PARODD : 0);
    if (line.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // Never waits (the descriptor does not block), and an empty read then says
    // "nothing yet" while a read of nothing at all says the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::cfsetspeed(&tio, speedOf(line.baud)) == 0 && ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
}

bool CommPort::openReaderLine(int portNumber, int receiveBufferSize, const QString &settings)
{
    setPortNumber(portNumber);
    setReceiveBufferSize(receiveBufferSize);
    setSettings(settings);
    if (!open())
        return false;
    setDtr(false);
    setRts(false);
    return isOpen();
}

void CommPort::close()
{
    release();
    m_received.clear();
}

void CommPort::release()
{
    m_notifier.setEnabled(false);
    if (m_fd >= 0) {
        if (m_found)   // as serial tools do: the line as we found it (a hung-up one may refuse)
            ::tcsetattr(m_fd, TCSANOW, &*m_found);
        m_found.reset();
        // The flag would outlive us on a pseudo-terminal and keep others out.
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);   // the flock goes with it
        m_fd = -1;
    }
    m_lock.release();
}

bool CommPort::modemLine(int line, bool on)
{
    if (!isOpen())
        return false;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    // A pseudo-terminal has no modem lines and says so; that is not a fault.
    if (m_devicePath.startsWith(QLatin1String("/dev/pts/")))
        return true;
    fail();
    return false;
}

bool CommPort::setDtr(bool on)
{
    return modemLine(TIOCM_DTR, on);
}

bool CommPort::setRts(bool on)
{
    return modemLine(TIOCM_RTS, on);
}

void CommPort::drain()
{
    if (!isOpen())
        return;
    char chunk[4096];
    while (m_received.size() < m_receiveBufferSize) {
        const ssize_t n = ::read(m_fd, chunk, size_t(qMin<qsizetype>(sizeof chunk, m_receiveBufferSize - m_received.size())));
        if (n > 0) {
            m_received.append(chunk, n);
            continue;
        }
        if (n == 0 || isLineGone(errno)) {   // a hung-up terminal reads as the end of a file
            fail();
            return;
        }
        if (errno != EINTR)
            break;
    }
    // A full buffer takes no more: what else comes waits in the system until it is read.
    m_notifier.setEnabled(m_received.size() < m_receiveBufferSize);
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        fail();
}

int CommPort::bytesWaiting()
{
    drain();
    return int(m_received.size());
}

QByteArray CommPort::read(int count)
{
    drain();
    const QByteArray taken = m_received.left(count);
    m_received.remove(0, taken.size());
    LineTrace::received(taken);
    m_notifier.setEnabled(isOpen());   // room again: what waits in the system comes at the next look
    return taken;
}

void CommPort::clearReceiveBuffer()
{
    drain();
    LineTrace::dropped(m_received);
    m_received.clear();
    if (!isOpen())
        return;
    ::tcflush(m_fd, TCIFLUSH);
    m_notifier.setEnabled(true);
}

bool CommPort::send(const QByteArray &bytes)
{
    LineTrace::sent(bytes);
    const QDeadlineTimer deadline(WriteTimeoutMs);
    qsizetype done = 0;
    while (isOpen() && done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if ((n < 0 && isLineGone(errno)) || deadline.hasExpired())
            break;
        pollfd pfd{m_fd, POLLOUT, 0};   // the system's buffer is full: wait for room
        if (::poll(&pfd, 1, int(deadline.remainingTime())) <= 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
            break;
    }
    if (done == bytes.size())
        return true;
    fail();
    return false;
}

void CommPort::fail()
{
    if (m_lineLost)
        return;
    m_lineLost = true;
    LineTrace::decision(QStringLiteral("the line is lost (cable pulled, or device gone)"));
    release();   // what came before the line went is still the reader's word
    emit lineFailed();
}
