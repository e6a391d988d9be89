// The serial port class and the reader simulator, together over a real
// pseudo-terminal: the simulator is what the transfer tests trust, and the
// port class is what the program trusts.
#include "serial/commport.h"
#include "serial/frames.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "tests/support/files.h"
#include "tests/support/pty.h"
#include "tests/support/simulator.h"
#include "tests/support/testhome.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int SimPort = 11;

QByteArray writeFrame(const char *code, int time, qint16 address)
{
    return requestFrame(writeRequestBytes(1, codeOf(code), time, address));
}

QByteArray readFrame()
{
    return requestFrame(readRequestBytes(1));
}

// Polls the port without an event loop, as the transfers do, until it holds
// at least count bytes or nothing more comes for quietMs.
int waitForBytes(CommPort &port, int count, int quietMs = 1000)
{
    int last = -1;
    QDeadlineTimer quiet(quietMs);
    for (;;) {
        const int now = port.bytesWaiting();
        if (now >= count || port.lineLost())
            return now;
        if (now != last) {
            last = now;
            quiet.setRemainingTime(quietMs);
        } else if (quiet.hasExpired()) {
            return now;
        }
        QThread::msleep(5);
    }
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    SimulatorProcess *m_sim = nullptr;
    CommPort *m_port = nullptr;

    // Starts a simulator on SimPort and opens the port on it.
    bool startReader(const QStringList &options = {})
    {
        m_sim = new SimulatorProcess;
        if (!m_sim->start(QStringList{QStringLiteral("--port"), QString::number(SimPort)} + options))
            return false;
        m_port = new CommPort;
        m_port->setPortNumber(SimPort);
        m_port->setReceiveBufferSize(32000);
        return m_port->setSettings(QStringLiteral("9600,n,8,1")) && m_port->open() && m_port->setDtr(false)
            && m_port->setRts(false);
    }

    QByteArray exchange(const QByteArray &request, int expected)
    {
        m_port->clearReceiveBuffer();
        if (!m_port->send(request))
            return "<send failed>";
        waitForBytes(*m_port, expected, 500);
        return m_port->read(m_port->bytesWaiting());
    }

    QByteArray dump()
    {
        return exchange(readFrame(), DumpLength);
    }

private slots:
    void cleanup()
    {
        delete m_port;
        m_port = nullptr;
        delete m_sim;
        m_sim = nullptr;
    }

    void simulatorMapsItsPortWhileRunning()
    {
        QVERIFY(startReader());
        QCOMPARE(QSettings(SettingsOrganization, SettingsApplication).value(QStringLiteral("ports/11")).toString(),
                 m_sim->devicePath());
        delete m_port;
        m_port = nullptr;
        QVERIFY(m_sim->stop());
        QVERIFY(!QSettings(SettingsOrganization, SettingsApplication).contains(QStringLiteral("ports/11")));
        // The other settings are not touched.
        QCOMPARE(QSettings(SettingsOrganization, SettingsApplication).value(QStringLiteral("ports/auto")).toBool(), false);
    }

    void simulatorNeverTakesAUsersPort()
    {
        QSettings settings(SettingsOrganization, SettingsApplication);
        const QString cable = QStringLiteral("/dev/serial/by-id/usb-FTDI_cable-if00-port0");
        TestHome::mapPort(SimPort, cable);
        QProcess refused;
        refused.start(simulatorProgram(), {QStringLiteral("--port"), QString::number(SimPort)});
        QVERIFY(refused.waitForFinished(5000));
        QVERIFY(refused.exitCode() != 0);
        QVERIFY(refused.readAllStandardError().contains("try --port 1\n"));
        settings.sync();
        QCOMPARE(settings.value(QStringLiteral("ports/11")).toString(), cable);

        // What a killed simulator left behind may be taken over, and is removed at the end.
        TestHome::mapPort(SimPort, QStringLiteral("/dev/pts/99999"));
        QVERIFY(startReader());
        delete m_port;
        m_port = nullptr;
        // Meanwhile the user put a cable on the number: it stays when the simulator ends.
        TestHome::mapPort(SimPort, cable);
        QVERIFY(m_sim->stop());
        settings.sync();
        QCOMPARE(settings.value(QStringLiteral("ports/11")).toString(), cable);
        TestHome::mapPort(SimPort, {});
    }

    void erasedMemoryDump()
    {
        QVERIFY(startReader({QStringLiteral("--fast")}));
        const QByteArray bytes = dump();
        QCOMPARE(bytes.size(), DumpLength);   // the whole dump is buffered at once
        QVERIFY(validRecords(bytes).isEmpty());
        for (int block = 0; block < DumpExaminedBlocks; ++block)
            QCOMPARE(bytes.mid(block * DumpBlockLength + 1, 6), QByteArray(6, char(0xFF)));
        QCOMPARE(m_sim->requests(), QStringList{QStringLiteral("01 00 00 00 00 00 00 00 00 20 21")});
    }

    void writeThenDumpRoundTrip()
    {
        QVERIFY(startReader({QStringLiteral("--fast")}));
        // Bytes a terminal might eat or translate (NUL, CR, XON, XOFF, 0xFF) pass unchanged.
        const QByteArray first = exchange(writeFrame("000D1113FF", 0x11, 7392), WriteAnswerLength);
        QCOMPARE(first.size(), WriteAnswerLength);
        QVERIFY(isWriteAccepted(first));
        QVERIFY(isWriteAccepted(exchange(writeFrame("0123456789", 127, 7386), WriteAnswerLength)));
        QVERIFY(isWriteAccepted(exchange(writeFrame("0A0B0C0D0E", 1, 0), WriteAnswerLength)));
        const QByteArray memory = dump();
        QCOMPARE(memory.size(), DumpLength);
        QCOMPARE(memory.mid(1, 6).toHex().toUpper(), QByteArray("000D1113FF11"));
        QCOMPARE(memory.mid(15 + 1, 6).toHex().toUpper(), QByteArray("01234567897F"));
        QCOMPARE(memory.mid(1232 * 15 + 1, 6).toHex().toUpper(), QByteArray("0A0B0C0D0E01"));
        QCOMPARE(validRecords(memory).size(), 3);
        const QStringList log = m_sim->requests();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0], QStringLiteral("01 00 0D 11 13 FF 11 1C E0 06 44"));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QByteArray badChecksum = writeFrame("0123456789", 5, 7392);
        badChecksum[10] = char(badChecksum[10] + 1);
        QTest::newRow("bad checksum") << badChecksum;
        QTest::newRow("address off the grid") << writeFrame("0123456789", 5, 7391);
        QTest::newRow("address above the first record") << writeFrame("0123456789", 5, 7398);
        QTest::newRow("negative address") << writeFrame("0123456789", 5, -6);
    }
    void refusals()
    {
        QFETCH(QByteArray, request);
        QVERIFY(startReader({QStringLiteral("--fast")}));
        const QByteArray answer = exchange(request, WriteAnswerLength);
        QCOMPARE(answer.size(), WriteAnswerLength);
        QVERIFY(!isWriteAccepted(answer));
        QCOMPARE(validRecords(dump()).size(), 0);   // nothing stored
    }

    void faultModes_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("secondAnswerSize");
        QTest::addColumn<bool>("secondAccepted");
        QTest::newRow("refuse write 2") << QStringList{"--refuse-write", "2"} << 15 << false;
        QTest::newRow("silent on write 2") << QStringList{"--silent-write", "2"} << 0 << false;
        QTest::newRow("16 bytes on write 2") << QStringList{"--long-answer", "2"} << 16 << true;
        QTest::newRow("stray bytes before write 2") << QStringList{"--stray-write", "2"} << 17 << false;
        QTest::newRow("answers in pieces") << QStringList{"--pieces", "30"} << 15 << true;
    }
    void faultModes()
    {
        QFETCH(QStringList, options);
        QFETCH(int, secondAnswerSize);
        QFETCH(bool, secondAccepted);
        QVERIFY(startReader(options << QStringLiteral("--fast")));
        const QByteArray first = exchange(writeFrame("0000000001", 5, 7392), WriteAnswerLength);
        QCOMPARE(first.size(), WriteAnswerLength);
        QVERIFY(isWriteAccepted(first));
        const QByteArray second = exchange(writeFrame("0000000002", 5, 7386), 100);
        QCOMPARE(second.size(), secondAnswerSize);
        QCOMPARE(isWriteAccepted(second), secondAccepted);
        QCOMPARE(m_sim->requests().size(), 2);
    }

    void answerInPiecesIsSeenGrowing()
    {
        QVERIFY(startReader({QStringLiteral("--fast"), QStringLiteral("--pieces"), QStringLiteral("100")}));
        m_port->send(writeFrame("0000000001", 5, 7392));
        const int partial = waitForBytes(*m_port, 1, 1000);
        QVERIFY(partial > 0 && partial < WriteAnswerLength);
        QCOMPARE(waitForBytes(*m_port, WriteAnswerLength), WriteAnswerLength);
    }

    void dumpStopsAfterKBytes()
    {
        QVERIFY(startReader({QStringLiteral("--fast"), QStringLiteral("--stop-dump"), QStringLiteral("5000")}));
        QCOMPARE(dump().size(), 5000);
        QVERIFY(m_port->isOpen());
    }

    void hangUpAfterWriteIsReportedOnce()
    {
        QVERIFY(startReader({QStringLiteral("--fast"), QStringLiteral("--hangup-after-write"), QStringLiteral("1")}));
        QSignalSpy failed(m_port, &CommPort::lineFailed);
        m_port->send(writeFrame("0000000001", 5, 7392));
        QVERIFY(m_sim->waitForEnd(5000));
        // The answer may or may not be read before the hang-up is seen; the loss is seen once.
        for (int i = 0; i < 20; ++i)
            m_port->bytesWaiting();
        QVERIFY(m_port->lineLost());
        QVERIFY(!m_port->isOpen());
        QCOMPARE(m_port->bytesWaiting(), 0);
        QVERIFY(!m_port->send(readFrame()));
        QCoreApplication::processEvents();
        QCOMPARE(failed.size(), 1);
    }

    void hangUpMidDump()
    {
        QVERIFY(startReader({QStringLiteral("--fast"), QStringLiteral("--hangup-dump"), QStringLiteral("3000")}));
        QSignalSpy failed(m_port, &CommPort::lineFailed);
        m_port->send(readFrame());
        waitForBytes(*m_port, DumpLength, 2000);
        QVERIFY(m_port->lineLost());
        QCOMPARE(failed.size(), 1);
    }

    void idleHangUpIsReportedOnceByTheEventLoop()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        TestHome::mapPort(12, pty.path());
        CommPort port;
        port.setPortNumber(12);
        QVERIFY(port.open());
        QSignalSpy failed(&port, &CommPort::lineFailed);
        pty.closeMaster();
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY(!port.isOpen());
        port.bytesWaiting();   // every later look at the lost line
        QVERIFY(!port.send(QByteArray(1, '\0')));
        QCoreApplication::processEvents();
        QCOMPARE(failed.size(), 1);
        TestHome::mapPort(12, {});
    }

    void openFaults()
    {
        CommPort port;
        port.setPortNumber(13);   // not mapped, and built-ins are off
        QVERIFY(!port.open());
        QCOMPARE(port.openFault(), CommPort::OpenFault::NoDevice);

        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        TestHome::mapPort(13, pty.path());
        QVERIFY(!port.setSettings(QStringLiteral("9600,q,8,1")));
        QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1"));

        {
            // Someone else holds it: refused, and the holder keeps its lock.
            ExclusiveHold otherProgram(pty.path());
            QVERIFY(!port.open());
            QCOMPARE(port.openFault(), CommPort::OpenFault::Busy);
            int exclusive = 0;
            QCOMPARE(::ioctl(otherProgram.fd(), TIOCGEXCL, &exclusive), 0);
            QVERIFY(exclusive);
        }
        {
            DeviceHolder otherProgram(pty.path());
            QVERIFY(!port.open());
            QCOMPARE(port.openFault(), CommPort::OpenFault::Busy);
        }

        // Let go with its line settings as they were found.
        const auto lineSpeed = [&](speed_t set) -> speed_t {
            const int fd = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
            termios tio{};
            ::tcgetattr(fd, &tio);
            if (set != B0 && (::cfsetspeed(&tio, set) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0))
                return B0;
            ::close(fd);
            return ::cfgetospeed(&tio);
        };
        QCOMPARE(lineSpeed(B19200), speed_t(B19200));
        QVERIFY(port.open());
        QCOMPARE(lineSpeed(B0), speed_t(B9600));
        QVERIFY(port.setDtr(false));   // a pseudo-terminal has no modem lines: tolerated
        QVERIFY(port.setRts(false));
        // What we hold ourselves is ours, not another program's.
        QVERIFY(isPortFree(13));
        port.close();
        QCOMPARE(lineSpeed(B0), speed_t(B19200));
        TestHome::mapPort(13, {});
    }

    void imageSavedAndSeeded()
    {
        const QString list = m_home.file(QStringLiteral("seed.csv"));
        QVERIFY(writeFile(list, "3,200,0715\r\n1,200,BB0000000001\r\n2,x\r\n1,200,BB00000000FF\r\n"));
        const QString image = m_home.file(QStringLiteral("memory.bin"));
        QVERIFY(startReader({QStringLiteral("--fast"), QStringLiteral("--seed"), list,
                             QStringLiteral("--seed-time"), QStringLiteral("9"),
                             QStringLiteral("--save"), image}));
        const QList<DumpRecord> seeded = validRecords(dump());
        QCOMPARE(seeded.size(), 2);
        QCOMPARE(hexCode(seeded[1].code), QStringLiteral("00000000FF"));
        QCOMPARE(seeded[1].openingTime, 9);
        delete m_port;
        m_port = nullptr;
        QVERIFY(m_sim->stop());
        delete m_sim;
        m_sim = nullptr;

        QVERIFY(startReader({QStringLiteral("--fast"), QStringLiteral("--image"), image}));
        QCOMPARE(validRecords(dump()).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
