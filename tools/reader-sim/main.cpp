// reader-sim: plays the card reader on a pseudo-terminal, for tests and for
// trying the program without hardware. Prints the device path first, then
// one line per request received ("REQ 01 00 ... 21").

#include "serial/portmap.h"
#include "tools/reader-sim/readermodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

double g_wireBytesPerSecond = 9600.0 / 10;   // 8N1: ten bits a byte
constexpr int IdleLookMs = 10;   // how often a line nobody has open is looked at

class Line
{
public:
    bool open();
    QString path() const { return m_path; }
    void hangUp();
    bool isUp() const { return m_master >= 0; }
    bool isHungUp() const;   // no program has the line open
    // Takes away the exclusive-use flag a program left on the line when it went
    // away without clearing it (killed, crashed): the next one could not open it.
    void clearExclusiveUse();
    int master() const { return m_master; }
    // Sends at the pace of a 9600 8N1 line unless fast; false when stopped.
    // Like a reader on a cable, it goes on when nobody listens: what it says
    // meanwhile is lost on the wire.
    bool send(const QByteArray &bytes, bool fast);

private:
    bool writeAll(const char *data, qsizetype size);

    int m_master = -1;
    QString m_path;
    bool m_unheard = false;   // the program went away in the middle of an answer
};

bool Line::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return false;
    m_path = QString::fromLocal8Bit(::ptsname(m_master));
    // The line is set up once and then let go: a reader on a cable holds
    // nothing of the PC's device, so the program's probe finds it unused.
    // The settings stay with the pseudo-terminal while our end is open.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return false;
    termios raw;
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
    return true;
}

void Line::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool Line::isHungUp() const
{
    pollfd pfd{m_master, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLHUP) && !(pfd.revents & POLLIN);
}

void Line::clearExclusiveUse()
{
    // Only root may open a line in exclusive use; for anyone else this does nothing.
    const int device = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device < 0)
        return;
    ::ioctl(device, TIOCNXCL);
    ::close(device);
}

bool Line::writeAll(const char *data, qsizetype size)
{
    while (size > 0 && !g_stop) {
        if (isHungUp()) {
            // Nobody to hear it; the next program can open the line meanwhile.
            if (!std::exchange(m_unheard, true))
                clearExclusiveUse();
            return !g_stop;
        }
        m_unheard = false;
        const ssize_t n = ::write(m_master, data, size_t(size));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            QThread::msleep(1);
            continue;
        }
        if (n < 0)
            return false;
        data += n;
        size -= n;
    }
    return !g_stop;
}

bool Line::send(const QByteArray &bytes, bool fast)
{
    if (fast)
        return writeAll(bytes.constData(), bytes.size());
    QElapsedTimer clock;
    clock.start();
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        // A byte is there once its ten bits have crossed the wire.
        const qsizetype due = qMin<qsizetype>(bytes.size(), qsizetype(double(clock.nsecsElapsed()) * g_wireBytesPerSecond / 1e9));
        if (due > sent) {
            if (!writeAll(bytes.constData() + sent, due - sent))
                return false;
            sent = due;
        }
        if (sent < bytes.size())
            QThread::usleep(1000);
    }
    return true;
}

QString hexLine(QByteArrayView bytes)
{
    QString text;
    for (char b : bytes)
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + hexByte(quint8(b));
    return text;
}

class Simulator
{
public:
    Simulator(Line &line, ReaderModel &model, bool fast, FILE *log)
        : m_line(line), m_model(model), m_fast(fast), m_log(log) {}
    void run();

private:
    void play(const Reply &reply);

    Line &m_line;
    ReaderModel &m_model;
    bool m_fast;
    FILE *m_log;
};

void Simulator::run()
{
    QByteArray pending;
    bool inUse = false;
    while (!g_stop && m_line.isUp()) {
        pollfd pfd{m_line.master(), POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) {
            inUse = true;
            continue;
        }
        if (!(pfd.revents & POLLIN)) {
            // Hung up: no program has the line open. Wait for the next one.
            if (std::exchange(inUse, false))
                m_line.clearExclusiveUse();
            QThread::msleep(IdleLookMs);
            pending.clear();
            continue;
        }
        inUse = true;
        char buffer[256];
        const ssize_t n = ::read(m_line.master(), buffer, sizeof buffer);
        if (n <= 0)
            continue;
        pending.append(buffer, n);
        while (pending.size() >= RequestLength && m_line.isUp() && !g_stop) {
            const QByteArray request = pending.left(RequestLength);
            pending.remove(0, RequestLength);
            fprintf(m_log, "REQ %s\n", qPrintable(hexLine(request)));
            fflush(m_log);
            play(m_model.answer(request));
            fputs("END\n", m_log);   // done with it: answered, or left unanswered as told
            fflush(m_log);
        }
    }
}

// The answer in real time: the reader's own pause (none when fast), then each piece after its gap.
void Simulator::play(const Reply &reply)
{
    if (!m_fast && reply.thinkMs > 0)
        QThread::msleep(reply.thinkMs);
    for (const Reply::Piece &piece : reply.pieces) {
        if (piece.gapMs > 0)
            QThread::msleep(piece.gapMs);
        if (!m_line.send(piece.bytes, m_fast))
            return;
    }
    if (reply.hangUp)
        m_line.hangUp();
}

QString portMapKey(int number)
{
    return QStringLiteral("ports/%1").arg(number);
}

// An entry a killed simulator left behind: a pseudo-terminal that is gone.
bool isLeftOver(const QString &device)
{
    return device.startsWith(QLatin1String("/dev/pts/")) && !QFileInfo::exists(device);
}

// A number the user's map leaves unused, with no device behind it.
int unusedPortNumber()
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    for (int number = FirstPortNumber; number <= LastPortNumber; ++number) {
        const QString device = portDevicePath(number);
        if (!settings.contains(portMapKey(number)) && (device.isEmpty() || !QFileInfo::exists(device)))
            return number;
    }
    return 0;
}

// Puts the line on a number of the user's port map while the simulator runs.
// The user's own entries are never replaced.
bool claimPortNumber(int number, const QString &device)
{
    if (number < FirstPortNumber || number > LastPortNumber) {
        fprintf(stderr, "reader-sim: --port takes a number from %d to %d\n", FirstPortNumber, LastPortNumber);
        return false;
    }
    QSettings settings(SettingsOrganization, SettingsApplication);
    const QString current = settings.value(portMapKey(number)).toString().trimmed();
    if (!current.isEmpty() && current != device && !isLeftOver(current)) {
        const int unused = unusedPortNumber();
        fprintf(stderr, "reader-sim: port %d is already mapped to %s in %s; it is left as it is.\n", number,
                qPrintable(current), qPrintable(settings.fileName()));
        if (unused)
            fprintf(stderr, "reader-sim: port %d is free: try --port %d\n", unused, unused);
        return false;
    }
    settings.setValue(portMapKey(number), device);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

// Removes the entry at the end, if it is still the simulator's own.
void releasePortNumber(int number, const QString &device)
{
    QSettings settings(SettingsOrganization, SettingsApplication);
    if (settings.value(portMapKey(number)).toString().trimmed() == device) {
        settings.remove(portMapKey(number));
        settings.sync();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("reader-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays the door-phone card reader on a pseudo-terminal."));
    parser.addHelpOption();
    const auto option = [&](const char *name, const char *help, const char *value = nullptr) {
        QCommandLineOption o{QString::fromLatin1(name), QString::fromLatin1(help)};
        if (value)
            o.setValueName(QLatin1String(value));
        parser.addOption(o);
        return o;
    };
    const auto port = option("port", "Put the line on this port number in the port map while running.", "N");
    const auto fast = option("fast", "Send as fast as the pseudo-terminal takes it, not at 9600 baud.");
    const auto baud = option("baud", "Pace the line at this many baud instead of 9600 (tests that need time to pass, faster).", "N");
    const auto save = option("save", "Save the memory image here when ending.", "FILE");
    const auto log = option("log", "Write the request log here instead of standard output.", "FILE");
    addReaderOptions(parser);
    parser.process(app);

    if (parser.isSet(baud))
        g_wireBytesPerSecond = qMax(1200, parser.value(baud).toInt()) / 10.0;
    ReaderModel model;
    if (const QString wrong = applyReaderOptions(parser, model); !wrong.isEmpty()) {
        qCritical("reader-sim: %s", qPrintable(wrong));
        return 2;
    }

    FILE *logFile = stdout;
    if (parser.isSet(log) && !(logFile = fopen(qPrintable(parser.value(log)), "w"))) {
        qCritical("reader-sim: cannot write log %s", qPrintable(parser.value(log)));
        return 2;
    }

    Line line;
    if (!line.open()) {
        qCritical("reader-sim: cannot create a pseudo-terminal: %s", strerror(errno));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const int portNumber = parser.value(port).toInt();
    if (parser.isSet(port) && !claimPortNumber(portNumber, line.path()))
        return 2;
    printf("%s\n", qPrintable(line.path()));
    fflush(stdout);

    Simulator(line, model, parser.isSet(fast), logFile).run();

    line.hangUp();
    if (parser.isSet(port))
        releasePortNumber(portNumber, line.path());
    if (parser.isSet(save) && !model.reader.saveImage(parser.value(save)))
        qWarning("reader-sim: cannot save image %s", qPrintable(parser.value(save)));
    if (logFile != stdout)
        fclose(logFile);
    return 0;
}
