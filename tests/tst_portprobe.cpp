// Port numbering and the port probe, on real pseudo-terminals. Built-in
// devices are off in the test home: the machine's own ports are never touched.
#include "serial/commport.h"
#include "serial/linetrace.h"
#include "serial/portprobe.h"
#include "serial/portmap.h"
#include "transfer/messages.h"
#include "tests/support/pty.h"
#include "tests/support/files.h"
#include "tests/support/testhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes a UUCP lock file for the device in the first writable lock folder.
class LockFile
{
public:
    LockFile(const QString &devicePath, qint64 pid)
    {
        for (const char *dir : {"/var/lock", "/run/lock"}) {
            const QString path = QLatin1String(dir) + QLatin1Char('/') + lockFileName(devicePath);
            QFile file(path);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                file.write(QByteArray::number(pid).rightJustified(10) + '\n');
                m_path = path;
                return;
            }
        }
    }
    ~LockFile()
    {
        if (!m_path.isEmpty())
            QFile::remove(m_path);
    }
    bool isValid() const { return !m_path.isEmpty(); }

private:
    QString m_path;
};

} // namespace

class TestPortProbe : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;

    static QString consoleList(const QString &content, TestHome &home)
    {
        const QString path = home.file(QStringLiteral("console-active"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content.toLatin1() + '\n');
        return path;
    }

private slots:
    void builtInNumbering_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("device");
        QTest::newRow("1") << 1 << "/dev/ttyS0";
        QTest::newRow("32") << 32 << "/dev/ttyS31";
        QTest::newRow("33") << 33 << "/dev/ttyUSB0";
        QTest::newRow("65") << 65 << "/dev/ttyACM0";
        QTest::newRow("97") << 97 << "/dev/ttyAMA0";
        QTest::newRow("128") << 128 << "/dev/ttyAMA31";
        QTest::newRow("129 nothing built in") << 129 << QString();
        QTest::newRow("256 nothing built in") << 256 << QString();
        QTest::newRow("0") << 0 << QString();
        QTest::newRow("257") << 257 << QString();
    }
    void builtInNumbering()
    {
        QFETCH(int, number);
        QFETCH(QString, device);
        // Only the names are looked at here; nothing is opened.
        QSettings(SettingsOrganization, SettingsApplication).setValue(QStringLiteral("ports/auto"), true);
        const QString path = portDevicePath(number);
        QSettings(SettingsOrganization, SettingsApplication).setValue(QStringLiteral("ports/auto"), false);
        QCOMPARE(path, device);
        QCOMPARE(portDevicePath(number), QString());   // built-ins off
    }

    void builtInsOnlyWhenPlainlyAsked_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("on");
        for (const char *on : {"true", "Yes", "ON", "1"})
            QTest::newRow(on) << QVariant(QString::fromLatin1(on)) << true;
        // Anything else keeps the machine's own ports, its console among them, out.
        for (const char *off : {"false", "no", "Off", "0", "maybe", ""})
            QTest::newRow(off) << QVariant(QString::fromLatin1(off)) << false;
        // The store's special values, as "@Invalid()" and "@ByteArray(true)" read.
        QTest::newRow("@Invalid()") << QVariant() << false;
        QTest::newRow("@ByteArray(true)") << QVariant(QByteArray("true")) << false;
    }
    void builtInsOnlyWhenPlainlyAsked()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, on);
        QSettings(SettingsOrganization, SettingsApplication).setValue(QStringLiteral("ports/auto"), value);
        const QString path = portDevicePath(33);   // only the name is looked at
        const QString problem = Texts::portMapProblem();
        QSettings(SettingsOrganization, SettingsApplication).setValue(QStringLiteral("ports/auto"), false);
        QCOMPARE(path, on ? QStringLiteral("/dev/ttyUSB0") : QString());
        const QString word = value.typeId() == QMetaType::QString ? value.toString() : QStringLiteral("?");
        QCOMPARE(problem.isEmpty(), on || (word != QLatin1String("maybe") && word != QLatin1String("?") && !word.isEmpty()));
    }

    void anotherUsersSettingsAreNotUsed()
    {
        TestHome::mapPort(5, QStringLiteral("/dev/serial/by-id/usb-demo"));
        TestHome::setSavedPort(QStringLiteral("5"));
        const QByteArray file = QFile::encodeName(m_home.settingsFile());
        QCOMPARE(::chmod(file.constData(), 0666), 0);   // the person's own, open to all: made private
        QCOMPARE(portDevicePath(5), QStringLiteral("/dev/serial/by-id/usb-demo"));
        QCOMPARE(QFile::permissions(m_home.settingsFile()) & QFile::WriteOther, QFile::Permissions());
        QCOMPARE(::chown(file.constData(), 65534, 65534), 0);
        const QString problem = Texts::settingsProblem();
        const QString device = portDevicePath(5), saved = savedPortName(), builtIn = portDevicePath(33);
        QCOMPARE(::chown(file.constData(), ::geteuid(), ::getegid()), 0);
        QVERIFY(device.isEmpty() && saved.isEmpty() && builtIn.isEmpty());
        QVERIFY(problem.contains(m_home.settingsFile()));
        TestHome::reset();
    }

    // Another user of the machine plants something where the settings folder or file is: it is
    // judged as it was opened, never waited on, never used.
    void plantedSettingsAreNeverUsed_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("a FIFO as the file") << "fifo";
        QTest::newRow("a link as the folder") << "link";
        QTest::newRow("another user's folder") << "other";
    }
    void plantedSettingsAreNeverUsed()
    {
        QFETCH(QString, planted);
        TestHome::mapPort(5, QStringLiteral("/dev/serial/by-id/usb-demo"));
        const QString folder = QFileInfo(m_home.settingsFile()).path(), aside = folder + QStringLiteral(".real");
        QVERIFY(QDir().rename(folder, aside));
        const auto putBack = qScopeGuard([&] {
            QFile::remove(folder);
            QDir(folder).removeRecursively();
            QDir().rename(aside, folder);
        });
        const QByteArray name = QFile::encodeName(m_home.settingsFile());
        if (planted == QLatin1String("fifo"))
            QVERIFY(QDir().mkdir(folder) && ::mkfifo(name.constData(), 0600) == 0);
        if (planted == QLatin1String("link"))
            QVERIFY(QFile::link(aside, folder));
        if (planted == QLatin1String("other")) {
            if (::geteuid() != 0)
                QSKIP("needs root to plant as another user");
            QVERIFY(QDir().mkdir(folder) && writeFile(m_home.settingsFile(), "[ports]\n5=/dev/attacker\n"));
            QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0 && ::chown(name.constData(), 65534, 65534) == 0);
        }
        QCOMPARE(portDevicePath(5), QString());
        QVERIFY(!Texts::settingsProblem().isEmpty());
    }

    void aFolderSwappedAfterOpeningGetsNoWrite()
    {
        TestHome::mapPort(5, QStringLiteral("/dev/serial/by-id/usb-demo"));
        const QString folder = QFileInfo(m_home.settingsFile()).path(), aside = folder + QStringLiteral(".real");
        const QByteArray plantedStore = "[ports]\n5=/dev/attacker\n";
        {
            UserSettings settings;
            QVERIFY(settings.isTrusted());
            // Swapped by another user between the open and the write.
            QVERIFY(QDir().rename(folder, aside) && QDir().mkdir(folder) && writeFile(m_home.settingsFile(), plantedStore));
            QCOMPARE(settings.value(QStringLiteral("ports/5")).toString(), QStringLiteral("/dev/serial/by-id/usb-demo"));
            settings.setValue(QStringLiteral("comm/port"), QStringLiteral("7"));
        }
        QCOMPARE(readFile(m_home.settingsFile()), plantedStore);
        QCOMPARE(QSettings(aside + QStringLiteral("/alap.conf"), QSettings::IniFormat).value(QStringLiteral("comm/port")).toString(),
                 QStringLiteral("7"));
        QVERIFY(QDir(folder).removeRecursively() && QDir().rename(aside, folder));
        TestHome::reset();
    }

    void aWindowTracesEachOperationInAFileOfItsOwn()
    {
        const QString base = m_home.file(QStringLiteral("nyomkovetes.txt"));
        QCOMPARE(LineTrace::startPerOperation(base, QStringLiteral("vivadizuzud-cards (ablak)")), 0);
        LineTrace::beginOperation(QStringLiteral("Összevetés"));   // the first takes the file made at start
        LineTrace::beginOperation(QStringLiteral("Szinkronizálás"));
        QVERIFY(readFile(m_home.file(QStringLiteral("nyomkovetes-1.txt"))).contains("-- operation: Összevetés"));
        const QByteArray second = readFile(m_home.file(QStringLiteral("nyomkovetes-2.txt")));
        QVERIFY(second.startsWith("# vivadizuzud nyomkövetés"));
        QVERIFY(second.contains("vivadizuzud-cards (ablak): Szinkronizálás -- kártyakódokat tartalmaz"));
        QVERIFY(!second.contains("Összevetés"));
    }

    void mapOverridesAndNamesPorts()
    {
        TestHome::mapPort(5, QStringLiteral("/dev/serial/by-id/usb-demo"));
        TestHome::mapPort(200, QStringLiteral("/dev/ttyUSB7"));
        TestHome::mapPort(300, QStringLiteral("/dev/ttyUSB8"));
        QCOMPARE(portDevicePath(5), QStringLiteral("/dev/serial/by-id/usb-demo"));
        QCOMPARE(portDevicePath(200), QStringLiteral("/dev/ttyUSB7"));
        QCOMPARE(portDevicePath(300), QString());   // above 256 a number stands for nothing
        // Named as the port list shows them, with the ending and article Hungarian gives the number.
        QCOMPARE(Texts::portDisplayName(200), QStringLiteral("200-as port"));
        QCOMPARE(Texts::thePort(33, true), QStringLiteral("A 33-as port"));
        QCOMPARE(Texts::thePort(1), QStringLiteral("az 1-es port"));
        QCOMPARE(Texts::thePort(55), QStringLiteral("az 55-ös port"));
        QCOMPARE(Texts::thePort(40), QStringLiteral("a 40-es port"));
        TestHome::mapPort(5, {});
        TestHome::mapPort(200, {});
        TestHome::mapPort(300, {});
    }

    void freePseudoTerminal()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        TestHome::mapPort(3, pty.path());
        int handle = 12345;
        QVERIFY(ProbeCommPort(3, handle) != 0);
        QVERIFY(handle != InvalidHandle);
        QVERIFY(isPortFree(3));
        TestHome::mapPort(3, {});
    }

    void notATerminal_data()
    {
        QTest::addColumn<QString>("device");
        QTest::newRow("missing") << QStringLiteral("/dev/no-such-serial-device");
        QTest::newRow("regular file") << QFINDTESTDATA("tst_portprobe.cpp");
        QTest::newRow("character device, not a terminal") << QStringLiteral("/dev/null");
        QTest::newRow("folder") << QStringLiteral("/dev");
    }
    void notATerminal()
    {
        QFETCH(QString, device);
        TestHome::mapPort(4, device);
        int handle = 12345;
        QCOMPARE(ProbeCommPort(4, handle), 0);
        QCOMPARE(handle, InvalidHandle);
        QVERIFY(!isPortFree(4));
        TestHome::mapPort(4, {});
    }

    void exclusiveLockIsFoundOnlyByOpening()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        ExclusiveHold hold(pty.path());
        QVERIFY(hold.isValid());
        // The scan cannot see it without opening, and does not open; the port about to be used is asked.
        QCOMPARE(probeDevice(pty.path()).state, PortState::Free);
        TestHome::mapPort(7, pty.path());
        CommPort port;
        port.setPortNumber(7);
        QVERIFY(!port.open());
        QCOMPARE(port.openFault(), CommPort::OpenFault::Busy);
        TestHome::mapPort(7, {});
        int exclusive = 0;
        QCOMPARE(::ioctl(hold.fd(), TIOCGEXCL, &exclusive), 0);
        QVERIFY(exclusive);   // the holder's lock is still there
    }

    void openByAnotherProgram()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        QCOMPARE(probeDevice(pty.path()).state, PortState::Free);
        DeviceHolder holder(pty.path());
        QVERIFY(holder.isValid());
        const PortProbe probe = probeDevice(pty.path());
        QCOMPARE(probe.state, PortState::Held);
        QCOMPARE(probe.holders.size(), 1);
        QCOMPARE(probe.holders[0].pid, holder.pid());
        QCOMPARE(probe.holders[0].program, QStringLiteral("sleep"));
    }

    void scanOpensNoDevice()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        TestHome::mapPort(8, pty.path());
        const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watcher >= 0);
        QVERIFY(::inotify_add_watch(watcher, QFile::encodeName(pty.path()).constData(), IN_OPEN) >= 0);
        const auto opens = [&] {
            int count = 0;
            alignas(inotify_event) char events[4096];
            for (ssize_t n; (n = ::read(watcher, events, sizeof events)) > 0;)
                count += int(n / sizeof(inotify_event));
            return count;
        };
        for (int number = FirstPortNumber; number <= LastPortNumber; ++number)
            isPortFree(number);
        QVERIFY(isPortFree(8));
        QCOMPARE(opens(), 0);
        { ExclusiveHold open(pty.path()); }   // an open the watch does see
        QCOMPARE(opens(), 1);
        ::close(watcher);
        TestHome::mapPort(8, {});
    }

    void lockFileOfLiveProcess()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        QProcess holder;
        holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(holder.waitForStarted());
        {
            LockFile lock(pty.path(), holder.processId());
            if (!lock.isValid())
                QSKIP("no writable lock folder");
            const PortProbe probe = probeDevice(pty.path());
            QCOMPARE(probe.state, PortState::Held);
            QCOMPARE(probe.holders.value(0).pid, holder.processId());
            // The same device reached through a symlink has the same lock.
            const QString link = m_home.file(QStringLiteral("serial-link"));
            QVERIFY(QFile::link(pty.path(), link));
            TestHome::mapPort(9, link);
            QVERIFY(!isPortFree(9));
            TestHome::mapPort(9, {});
            QFile::remove(link);
        }
        holder.kill();
        holder.waitForFinished();
    }

    void staleLockFileIsIgnored()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        QProcess gone;
        gone.start(QStringLiteral("true"), {});
        QVERIFY(gone.waitForFinished());
        LockFile lock(pty.path(), gone.processId());
        if (!lock.isValid())
            QSKIP("no writable lock folder");
        QCOMPARE(probeDevice(pty.path()).state, PortState::Free);
    }

    void consoleIsNeverOpened()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        const QString name = pty.path().mid(5);   // "pts/N", as the kernel lists consoles
        QCOMPARE(probeDevice(pty.path(), consoleList(QStringLiteral("tty0 ") + name, m_home)).state,
                 PortState::Console);
        QCOMPARE(probeDevice(pty.path(), consoleList(QStringLiteral("tty0"), m_home)).state, PortState::Free);
        QVERIFY(isConsoleDevice(QStringLiteral("/dev/console"), QString()));
    }

    void symlinkResolvesToOneDevice()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        const QString link = m_home.file(QStringLiteral("by-id-link"));
        QVERIFY(QFile::link(pty.path(), link));
        QCOMPARE(canonicalDevicePath(link), pty.path());
        QCOMPARE(lockFileName(canonicalDevicePath(link)), QStringLiteral("LCK..") + pty.path().mid(5).replace('/', '_'));
        QCOMPARE(lockFileName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("LCK..ttyUSB0"));
        QFile::remove(link);
    }

    void noPermission()
    {
        if (::geteuid() == 0)
            QSKIP("root opens any device");
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        QFile::setPermissions(pty.path(), QFileDevice::Permissions());
        QCOMPARE(probeDevice(pty.path()).state, PortState::NoPermission);
        TestHome::mapPort(6, pty.path());
        QVERIFY(Texts::noFreePort().contains(Texts::dialoutAdvice()));
        TestHome::mapPort(6, {});
    }
};

QTEST_GUILESS_MAIN(TestPortProbe)
#include "tst_portprobe.moc"
