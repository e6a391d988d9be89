#include "serial/commport.h"
#include "serial/modwinapi.h"
#include "serial/portmap.h"

#include <poll.h>
#include <unistd.h>

namespace {

constexpr int WriteTimeoutMs = 2000;

bool isLineError(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError
        || error == QSerialPort::WriteError;
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
    if (parity == QLatin1String("n"))
        out.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        out.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        out.parity = QSerialPort::OddParity;
    else
        return false;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return false;
    out.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        out.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("2"))
        out.stopBits = QSerialPort::TwoStop;
    else
        return false;
    return true;
}

CommPort::CommPort(QObject *parent) : QObject(parent)
{
    // Idle errors arrive from the event loop; close at the first one so a dead
    // line cannot report itself over and over.
    // The close waits for the event loop: closing inside QSerialPort's own signal
    // is not safe. Inside drain() the error is seen and handled directly.
    connect(&m_serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (!isLineError(error))
            return;
        QMetaObject::invokeMethod(this, [this, opened = m_openCount] {
            if (opened == m_openCount)
                fail();
        }, Qt::QueuedConnection);
    });
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
    m_serial.setReadBufferSize(bytes);
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
    ++m_openCount;
    m_lineLost = false;
    m_devicePath = canonicalDevicePath(portDevicePath(m_portNumber));
    LineSettings line;
    if (!parseLineSettings(m_settings, line)) {
        m_openFault = OpenFault::BadSettings;
        return false;
    }
    // A held port is left alone. Root gets past another program's exclusive
    // lock, and closing again would clear that lock, so root asks first.
    switch (probeDevice(m_devicePath).state) {
    case PortState::Missing: m_openFault = OpenFault::NoDevice; return false;
    case PortState::Held: m_openFault = OpenFault::Busy; return false;
    case PortState::Console: m_openFault = OpenFault::Console; return false;
    case PortState::NoPermission: m_openFault = OpenFault::NoPermission; return false;
    case PortState::Free: break;
    }
    if (::geteuid() == 0 && isHeldExclusively(m_devicePath)) {
        m_openFault = OpenFault::Busy;
        return false;
    }
    m_serial.setPortName(m_devicePath);
    m_serial.setReadBufferSize(m_receiveBufferSize);
    if (!m_serial.open(QIODevice::ReadWrite)) {
        switch (m_serial.error()) {
        case QSerialPort::DeviceNotFoundError: m_openFault = OpenFault::NoDevice; break;
        case QSerialPort::PermissionError: m_openFault = OpenFault::Busy; break;
        default: m_openFault = OpenFault::Other; break;
        }
        m_serial.clearError();
        return false;
    }
    const bool configured = m_serial.setBaudRate(line.baud) && m_serial.setParity(line.parity)
        && m_serial.setDataBits(line.dataBits) && m_serial.setStopBits(line.stopBits)
        && m_serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_serial.close();
        m_openFault = OpenFault::BadSettings;
        return false;
    }
    m_openFault = OpenFault::None;
    return true;
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
    if (m_serial.isOpen())
        m_serial.close();
    m_serial.clearError();
}

bool CommPort::modemLineCall(bool ok)
{
    if (ok)
        return true;
    // A pseudo-terminal has no modem lines and says so; that is not a fault.
    const bool pseudoTerminal = m_devicePath.startsWith(QLatin1String("/dev/pts/"));
    m_serial.clearError();
    if (!pseudoTerminal)
        fail();
    return pseudoTerminal;
}

bool CommPort::setDtr(bool on)
{
    return isOpen() && modemLineCall(m_serial.setDataTerminalReady(on));
}

bool CommPort::setRts(bool on)
{
    return isOpen() && modemLineCall(m_serial.setRequestToSend(on));
}

void CommPort::drain()
{
    if (!isOpen())
        return;
    while (m_serial.waitForReadyRead(0)) {
    }
    const QSerialPort::SerialPortError error = m_serial.error();
    if (isLineError(error)) {
        fail();
        return;
    }
    m_serial.clearError();
    // A hung-up line polls readable-with-hangup and never delivers: ask directly.
    pollfd pfd{static_cast<int>(m_serial.handle()), POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        fail();
}

int CommPort::bytesWaiting()
{
    drain();
    return isOpen() ? int(m_serial.bytesAvailable()) : 0;
}

QByteArray CommPort::read(int count)
{
    drain();
    return isOpen() ? m_serial.read(count) : QByteArray();
}

void CommPort::clearReceiveBuffer()
{
    if (!isOpen())
        return;
    drain();
    if (isOpen())
        m_serial.clear(QSerialPort::Input);
}

bool CommPort::send(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    if (m_serial.write(bytes) != bytes.size()) {
        fail();
        return false;
    }
    while (isOpen() && m_serial.bytesToWrite() > 0) {
        if (!m_serial.waitForBytesWritten(WriteTimeoutMs)) {
            fail();
            return false;
        }
    }
    return isOpen();
}

void CommPort::fail()
{
    if (m_lineLost)
        return;
    m_lineLost = true;
    close();
    emit lineFailed();
}
