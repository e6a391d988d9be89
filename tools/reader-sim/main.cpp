// reader-sim: plays the card reader on a pseudo-terminal, for tests and for
// trying the program without hardware. Prints the device path first, then
// one line per request received ("REQ 01 00 ... 21").

#include "serial/portmap.h"
#include "tools/reader-sim/reader.h"

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
constexpr int WriteProcessingMs = 5;
constexpr int IdleLookMs = 10;   // how often a line nobody has open is looked at

struct Faults {
    int refuseWrite = 0, silentWrite = 0, longAnswer = 0, strayWrite = 0, hangupAfterWrite = 0;
    int stopDump = -1, hangupDump = -1, dumpExtra = 0;
    int piecesGapMs = 0;
    int dribbleMs = 0;
    int pauseAfter = -1, pauseMs = 0;   // a pause in the middle of every dump
};

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
    Simulator(Line &line, Reader &reader, Faults faults, bool fast, FILE *log)
        : m_line(line), m_reader(reader), m_faults(faults), m_fast(fast), m_log(log) {}
    void run();

private:
    void answer(QByteArrayView request);
    void sendWriteAnswer(const QByteArray &answer);
    void sendDump(const QByteArray &dump);

    Line &m_line;
    Reader &m_reader;
    Faults m_faults;
    bool m_fast;
    FILE *m_log;
    int m_writes = 0;
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
            answer(request);
            fputs("END\n", m_log);   // done with it: answered, or left unanswered as told
            fflush(m_log);
        }
    }
}

void Simulator::answer(QByteArrayView request)
{
    const bool isWrite = quint8(request[9]) == WriteRecord;
    if (!isWrite) {
        const Reader::Answer reply = m_reader.handle(request);
        if (reply.isDump)
            sendDump(reply.bytes);
        else
            m_line.send(reply.bytes, m_fast);
        return;
    }
    const int number = ++m_writes;
    if (!m_fast)
        QThread::msleep(WriteProcessingMs);
    if (number == m_faults.silentWrite)
        return;
    const Reader::Answer reply = m_reader.handle(request, number == m_faults.refuseWrite);
    QByteArray bytes = reply.bytes;
    if (number == m_faults.longAnswer)
        bytes.append('\0');
    if (number == m_faults.strayWrite)
        bytes.prepend(QByteArray("\xAA\x55", 2));
    sendWriteAnswer(bytes);
    if (number == m_faults.hangupAfterWrite)
        m_line.hangUp();
}

void Simulator::sendWriteAnswer(const QByteArray &answer)
{
    if (m_faults.piecesGapMs <= 0) {
        m_line.send(answer, m_fast);
        return;
    }
    for (qsizetype at = 0; at < answer.size() && !g_stop; at += 4) {
        if (at > 0)
            QThread::msleep(m_faults.piecesGapMs);
        m_line.send(answer.mid(at, 4), m_fast);
    }
}

void Simulator::sendDump(const QByteArray &dump)
{
    qsizetype length = dump.size();
    if (m_faults.stopDump >= 0)
        length = qMin<qsizetype>(length, m_faults.stopDump);
    if (m_faults.hangupDump >= 0)
        length = qMin<qsizetype>(length, m_faults.hangupDump);
    QByteArray bytes = dump.left(length);
    if (length == dump.size())
        bytes += QByteArray(m_faults.dumpExtra, char(0xEE));
    if (m_faults.dribbleMs > 0) {
        for (qsizetype at = 0; at < bytes.size() && m_line.send(bytes.mid(at, 1), m_fast); ++at)
            QThread::msleep(m_faults.dribbleMs);
        return;
    }
    if (m_faults.pauseAfter > 0 && m_faults.pauseAfter < bytes.size()) {
        if (!m_line.send(bytes.left(m_faults.pauseAfter), m_fast))
            return;
        QThread::msleep(m_faults.pauseMs);
        bytes.remove(0, m_faults.pauseAfter);
    }
    m_line.send(bytes, m_fast);
    if (m_faults.hangupDump >= 0 && length == m_faults.hangupDump)
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
    const auto image = option("image", "Load the memory from this 20490-byte image.", "FILE");
    const auto seed = option("seed", "Store the card lines of this code list from the top slot down.", "CSV");
    const auto seedTime = option("seed-time", "Opening time of seeded cards (default 5).", "T");
    const auto save = option("save", "Save the memory image here when ending.", "FILE");
    const auto log = option("log", "Write the request log here instead of standard output.", "FILE");
    const auto refuse = option("refuse-write", "Refuse the Nth write.", "N");
    const auto silent = option("silent-write", "Do not answer the Nth write.", "N");
    const auto longer = option("long-answer", "Answer the Nth write with 16 bytes.", "N");
    const auto stray = option("stray-write", "Send two stray bytes before the answer to the Nth write.", "N");
    const auto pieces = option("pieces", "Send write answers in pieces of 4 bytes, this many ms apart.", "MS");
    const auto stopDump = option("stop-dump", "Stop the dump after K bytes and stay silent.", "K");
    const auto hangupWrite = option("hangup-after-write", "Hang up the line after answering the Nth write.", "N");
    const auto hangupDump = option("hangup-dump", "Hang up the line after K dump bytes.", "K");
    const auto dumpExtra = option("dump-extra", "Send N more bytes after the dump.", "N");
    const auto dribble = option("dribble", "Send the dump one byte at a time, this many ms apart.", "MS");
    const auto dumpPause = option("dump-pause", "Pause MS milliseconds after K bytes of every dump.", "K:MS");
    const auto cardsOnly = option("cards-only", "Refuse records whose opening time is 0 or above 127 (erased ones too).");
    const auto layout = option("layout", "Where write addresses land in the dump: top-down (7392 first, the default) "
                                         "or bottom-up (0 first).", "RULE");
    const auto layoutOffset = option("layout-offset", "Dump blocks before the first one an address reaches (default 0).", "K");
    parser.process(app);

    const auto number = [&](const QCommandLineOption &o, int fallback) {
        return parser.isSet(o) ? parser.value(o).toInt() : fallback;
    };
    if (parser.isSet(baud))
        g_wireBytesPerSecond = qMax(1200, number(baud, 9600)) / 10.0;
    Faults faults;
    faults.refuseWrite = number(refuse, 0);
    faults.silentWrite = number(silent, 0);
    faults.longAnswer = number(longer, 0);
    faults.strayWrite = number(stray, 0);
    faults.piecesGapMs = number(pieces, 0);
    faults.stopDump = number(stopDump, -1);
    faults.hangupAfterWrite = number(hangupWrite, 0);
    faults.hangupDump = number(hangupDump, -1);
    faults.dumpExtra = number(dumpExtra, 0);
    faults.dribbleMs = number(dribble, 0);
    if (parser.isSet(dumpPause)) {
        const QStringList parts = parser.value(dumpPause).split(QLatin1Char(':'));
        faults.pauseAfter = parts.value(0).toInt();
        faults.pauseMs = parts.value(1).toInt();
    }

    Reader reader;
    if (parser.isSet(cardsOnly))
        reader.takeCardsOnly();
    const QString rule = parser.value(layout);
    if (!rule.isEmpty() && rule != QLatin1String("top-down") && rule != QLatin1String("bottom-up")) {
        qCritical("reader-sim: --layout takes top-down or bottom-up");
        return 2;
    }
    reader.setLayout(rule == QLatin1String("bottom-up") ? Reader::Layout::BottomUp : Reader::Layout::TopDown,
                     qBound(0, number(layoutOffset, 0), DumpExaminedBlocks - ReaderCapacity));
    if (parser.isSet(image) && !reader.loadImage(parser.value(image)))
        qWarning("reader-sim: cannot read image %s", qPrintable(parser.value(image)));
    if (parser.isSet(seed) && reader.seedFromCodeList(parser.value(seed), number(seedTime, 5)) < 0) {
        qCritical("reader-sim: cannot read code list %s", qPrintable(parser.value(seed)));
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

    const int portNumber = number(port, 0);
    if (parser.isSet(port) && !claimPortNumber(portNumber, line.path()))
        return 2;
    printf("%s\n", qPrintable(line.path()));
    fflush(stdout);

    Simulator(line, reader, faults, parser.isSet(fast), logFile).run();

    line.hangUp();
    if (parser.isSet(port))
        releasePortNumber(portNumber, line.path());
    if (parser.isSet(save) && !reader.saveImage(parser.value(save)))
        qWarning("reader-sim: cannot save image %s", qPrintable(parser.value(save)));
    if (logFile != stdout)
        fclose(logFile);
    return 0;
}
