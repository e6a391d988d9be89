// The serial-port control of the window: the reader's line, with a receive
// buffer of our own that holds a whole memory dump. Works without an event
// loop: every count asks the system for what has arrived; with one, a line
// that fails while idle is noticed as it happens.
#pragma once

#include "serial/line.h"
#include "serial/lockfile.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <optional>
#include <termios.h>

// The reader's line, and the receive buffers of the two ways a port gets opened.
inline const QString ReaderLine = QStringLiteral("9600,n,8,1");
inline const QString ReopenLine = QStringLiteral("9600,N,8,1");
constexpr int ReceiveBuffer = 32000;
constexpr int ReopenReceiveBuffer = 32700;

class CommPort : public QObject, public Line
{
    Q_OBJECT

public:
    enum class OpenFault { None, NoDevice, NoPermission, Busy, Console, BadSettings, Other };

    explicit CommPort(QObject *parent = nullptr);
    ~CommPort() override;

    void setPortNumber(int portNumber);
    int portNumber() const { return m_portNumber; }
    void setReceiveBufferSize(int bytes);
    int receiveBufferSize() const { return m_receiveBufferSize; }
    bool setSettings(const QString &settings);   // "9600,n,8,1"
    QString settings() const { return m_settings; }

    // Opens the device as its own: exclusive use (TIOCEXCL), a flock() and a
    // UUCP lock file, so other serial programs see it is taken. A port held by
    // another program is left alone.
    bool open();
    // Opens the port for the reader, in the order the reader is used to: the
    // number, the receive buffer, the line, open, then DTR and RTS off.
    bool openReaderLine(int portNumber, int receiveBufferSize = ReceiveBuffer,
                        const QString &settings = ReaderLine);
    OpenFault openFault() const { return m_openFault; }
    QString devicePath() const { return m_devicePath; }
    // Gives the device back as it was found: its line settings as they were,
    // exclusive use off, locks gone.
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    QString name() const override { return m_devicePath; }

    bool setDtr(bool on);
    bool setRts(bool on);

    int bytesWaiting() override;
    QByteArray read(int count) override;
    void clearReceiveBuffer() override;
    bool send(const QByteArray &bytes) override;
    bool lineLost() const override { return m_lineLost; }

signals:
    // Emitted once, at the first failure of an open line; the port is closed by then.
    void lineFailed();

private:
    OpenFault openDevice();
    void release();   // the device given back; what was received stays readable
    bool configure();
    void drain();
    void fail();
    bool modemLine(int line, bool on);

    int m_fd = -1;
    std::optional<termios> m_found;   // the line settings the device had when opened
    QByteArray m_received;
    QSocketNotifier m_notifier{QSocketNotifier::Read};
    DeviceLock m_lock;
    int m_portNumber = 0;
    int m_receiveBufferSize = ReceiveBuffer;
    QString m_settings = ReaderLine;
    QString m_devicePath;
    OpenFault m_openFault = OpenFault::None;
    bool m_lineLost = false;
};

struct LineSettings {
    int baud = 0;
    char parity = 'n';   // n, e or o
    int dataBits = 8;
    int stopBits = 1;
};
// Parses "9600,n,8,1" (parity n, e, o in either case); false when malformed.
bool parseLineSettings(const QString &text, LineSettings &out);
