// The command line end to end: the real program against the reader simulator
// on a pseudo-terminal, in a throw-away settings home.
#include "tests/support/files.h"
#include "tests/support/pty.h"
#include "tests/support/simulator.h"
#include "tests/support/testhome.h"
#include "cli/terminalprogress.h"
#include "cli/texts.h"
#include "serial/commport.h"
#include "serial/lockfile.h"
#include "transfer/messages.h"
#include "store/readerstore.h"
#include "transfer/upload.h"
#include "serial/frames.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QString out, err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

Run cli(const QStringList &arguments)
{
    return run(QStringLiteral(CLI_PATH), arguments);
}

// What `ports --json` says of a port number.
QString portState(int number)
{
    const QJsonArray ports = QJsonDocument::fromJson(cli({QStringLiteral("ports"), QStringLiteral("--json")}).out.toUtf8()).array();
    for (const QJsonValue &port : ports) {
        if (port.toObject()[QStringLiteral("number")].toInt() == number)
            return port.toObject()[QStringLiteral("state")].toString();
    }
    return QStringLiteral("missing");
}

// Where lock files of the system go, if this machine has the folder.
QString lockFolder()
{
    for (const char *dir : {"/var/lock", "/run/lock"}) {
        if (QFileInfo(QLatin1String(dir)).isDir())
            return QLatin1String(dir);
    }
    return {};
}

constexpr uid_t Nobody = 65534;

const QByteArray ThreeCards = "3,200,0715\r\n1,200,BB0123456789\r\n\r\n1,200,bb0a0b0c0d0e\r\n1,200,BBFFFFFFFFFF\r\n";

// A reader's memory holding cards 0..cards-1 in its first blocks, each with time 5.
QByteArray memoryOf(int cards)
{
    QByteArray image(DumpLength, char(0xFF));
    for (int block = 0; block < cards; ++block)
        image.replace(block * DumpBlockLength + 1, 6,
                      QByteArray::fromHex(QByteArray::number(block, 16).rightJustified(10, '0') + "05"));
    return image;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;

    std::unique_ptr<SimulatorProcess> startReader(int port, const QStringList &options = {QStringLiteral("--fast")})
    {
        auto sim = std::make_unique<SimulatorProcess>();
        if (!sim->start(QStringList{QStringLiteral("--port"), QString::number(port)} + options))
            qFatal("the reader simulator did not start");
        return sim;
    }

    QString file(const char *name, const QByteArray &content)
    {
        const QString path = m_home.file(QLatin1String(name));
        if (!writeFile(path, content))
            qFatal("cannot write %s", name);
        return path;
    }

private slots:
    void init() { TestHome::reset(); }
    // Each case has a reader of its own, though the pseudo-terminal's name comes round again: a dump an
    // earlier case stopped is not waited out.
    void cleanup()
    {
        QDir(m_home.file(QStringLiteral("runtime/vivadizuzud"))).removeRecursively();
        QDir shared(m_home.file(QStringLiteral("shared")));   // and the hints every account honours
        for (const QString &hint : shared.entryList(QDir::Files))
            shared.remove(hint);
    }

    void portsAsJson()
    {
        auto sim = startReader(4);
        PseudoTerminal taken;
        TestHome::mapPort(6, taken.path());
        DeviceHolder otherProgram(taken.path());
        QVERIFY(otherProgram.isValid());

        const Run ports = cli({QStringLiteral("ports"), QStringLiteral("--json")});
        QCOMPARE(ports.status, 0);
        const QJsonArray list = QJsonDocument::fromJson(ports.out.toUtf8()).array();
        QCOMPARE(list.size(), 2);
        const QJsonObject free = list[0].toObject(), busy = list[1].toObject();
        QCOMPARE(free[QStringLiteral("number")].toInt(), 4);
        QCOMPARE(free[QStringLiteral("device")].toString(), sim->devicePath());
        QCOMPARE(free[QStringLiteral("state")].toString(), QStringLiteral("free"));
        QVERIFY(free[QStringLiteral("vendor_id")].isNull());
        QCOMPARE(busy[QStringLiteral("number")].toInt(), 6);
        QCOMPARE(busy[QStringLiteral("state")].toString(), QStringLiteral("busy"));
        const QJsonObject holder = busy[QStringLiteral("holders")].toArray().first().toObject();
        QCOMPARE(holder[QStringLiteral("pid")].toInteger(), otherProgram.pid());
        QCOMPARE(holder[QStringLiteral("program")].toString(), QStringLiteral("sleep"));

        // A held port is refused by name, with its holder.
        const Run readout = cli({QStringLiteral("readout"), QStringLiteral("--port"), QStringLiteral("6"),
                                 m_home.file(QStringLiteral("x.csv"))});
        QCOMPARE(readout.status, 2);
        QVERIFY(readout.err.contains(QStringLiteral("másik program")));
        QVERIFY(readout.err.contains(QStringLiteral("sleep")));
    }

    void uploadVerifyAndReadout()
    {
        auto sim = startReader(4);
        const QString list = file("haz.csv", ThreeCards);
        const Run up = cli({QStringLiteral("upload"), QStringLiteral("--time"), QStringLiteral("9"), list});
        QCOMPARE(up.status, 0);
        // Without a terminal, a line as the writing begins; then the window's own words and the count.
        QCOMPARE(up.err, QStringLiteral("Írás: 3 rekord (kb. 1 másodperc)\n"
                                        "A rátöltés az SD kártyáról kész. A kártyaolvasó 3 kódot fogadott el.\n"));
        QCOMPARE(sim->requests(), QStringList({QStringLiteral("01 01 23 45 67 89 09 1C E0 06 65"),
                                               QStringLiteral("01 0A 0B 0C 0D 0E 09 1C DA 06 42"),
                                               QStringLiteral("01 FF FF FF FF FF 09 1C D4 06 FB")}));

        const Run same = cli({QStringLiteral("verify"), QStringLiteral("--time"), QStringLiteral("9"), list});
        QCOMPARE(same.status, 0);
        QCOMPARE(same.out.count(QLatin1Char('\n')), 1);
        QVERIFY(same.out.startsWith(QStringLiteral("Egyezik")));

        const QString changed = file("changed.csv", QByteArray(ThreeCards).replace("0123456789", "0123456788"));
        const Run differs = cli({QStringLiteral("verify"), changed});
        QCOMPARE(differs.status, 5);
        QVERIFY(differs.out.contains(QStringLiteral("Hiányzik a kártyaolvasóból (1):\n  0123456788\n")));
        QVERIFY(differs.out.contains(QStringLiteral("Többlet a kártyaolvasóban, nincs a fájlban (1):\n  0123456789\n")));
        QCOMPARE(sim->requests().size(), 5);   // two reads, nothing written
        // A card past its last day should be out: held, it is named; out, it is not missed.
        const QByteArray yesterday = QDate::currentDate().addDays(-1).toString(Qt::ISODate).toLatin1();
        const Run expired = cli({QStringLiteral("verify"), file("napok.csv", QByteArray(ThreeCards).replace("bb0a0b0c0d0e", "Takarító," + yesterday + ",BB0A0B0C0D0E")
                                                                     + "1,200,Szabó," + yesterday + ",BB0000000002\r\n")});
        QCOMPARE(expired.status, 5);
        QCOMPARE(expired.out, QStringLiteral("Lejárt, de még a kártyaolvasóban van (1):\n  0A0B0C0D0E  Takarító (utolsó nap: %1)\n")
                                  .arg(QString::fromLatin1(yesterday)));

        const QString out = file("kiolvasott.csv", "1,200,BB0000000001");
        const QString trace = m_home.file(QStringLiteral("trace.txt"));
        const Run readout = cli({QStringLiteral("readout"), QStringLiteral("--trace"), trace, out});
        QCOMPARE(readout.status, 0);
        // The trace holds the frames and the decisions, for the person's eyes only.
        const QString traced = QString::fromUtf8(readFile(trace));
        QVERIFY(traced.contains(QStringLiteral(" ms  > 11  01 00 00 00 00 00 00 00 00 20 21\n")));
        QVERIFY(traced.contains(QStringLiteral(" ms  < 20490  sha256 ")));
        QVERIFY(traced.contains(QStringLiteral(" ms  -- line quiet for 100 ms")));
        QCOMPARE(QFile::permissions(trace) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QVERIFY(QFile::link(changed, m_home.file(QStringLiteral("planted-trace"))));   // never followed
        QCOMPARE(cli({QStringLiteral("ports"), QStringLiteral("--trace=") + m_home.file(QStringLiteral("planted-trace"))}).status, 4);
        // Never over a file that is no trace of ours, the list itself included; a trace of ours grows.
        QCOMPARE(cli({QStringLiteral("ports"), QStringLiteral("--trace"), changed}).status, 4);
        QCOMPARE(readFile(changed), QByteArray(ThreeCards).replace("0123456789", "0123456788"));
        QCOMPARE(cli({QStringLiteral("ports"), QStringLiteral("--trace"), trace}).status, 0);
        const QList<QByteArray> lines = readFile(trace).split('\n');
        QVERIFY(lines[0].startsWith("# vivadizuzud nyomkövetés " VIVADIZUZUD_VERSION ", "));
        QVERIFY(lines[0].endsWith(": vivadizuzud-cli readout " + out.toUtf8() + " -- kártyakódokat tartalmaz: csak annak küldje el, akire a kártyákat is rábízná"));
        QCOMPARE(std::count_if(lines.begin(), lines.end(), [](const QByteArray &line) { return line.startsWith("# vivadizuzud"); }), 2);
        QCOMPARE(readout.err.section(QLatin1Char('\n'), -2, -2),
                 QStringLiteral("A kódmemória kiolvasása kész: 3 kódot írtam a fájl végére: ") + out);
        QCOMPARE(readFile(out), QByteArray("1,200,BB0000000001\r\n3,200,0715\r\n1,200,BB0123456789\r\n"
                                           "1,200,BB0A0B0C0D0E\r\n1,200,BBFFFFFFFFFF\r\n"));
    }

    void syncAsksPlansAndCopiesWhereAReaderRefusesToErase()
    {
        QByteArray image(DumpLength, char(0xFF));
        image.replace(1, 6, QByteArray::fromHex("00000000AA05"));
        image.replace(16, 6, QByteArray::fromHex("00000000BB05"));
        image.replace(5 * 15 + 1, 6, QByteArray::fromHex("00000000CC05"));
        auto sim = startReader(4, {QStringLiteral("--fast"), QStringLiteral("--cards-only"), QStringLiteral("--image"),
                                   file("reader.bin", image)});
        const QString list = file("lista.csv", "1,200,Kovács Béla,BB00000000AA\r\n1,200,\"Új, lakó\",BB00000000EE\r\n");
        const QStringList sync{QStringLiteral("sync"), QStringLiteral("--time"), QStringLiteral("5")};

        QCOMPARE(cli(sync + QStringList{list}).status, 1);   // a script must say --yes
        QCOMPARE(sim->requests(), QStringList());

        const Run dry = cli(sync + QStringList{QStringLiteral("--dry-run"), list});
        QCOMPARE(dry.status, 5);
        QVERIFY(dry.out.contains(QStringLiteral("Felveendő, a kártyaolvasóban még nincs (1):\n  00000000EE  Új, lakó\n")));
        QVERIFY(dry.out.contains(QStringLiteral("Törlendő, nincs a listában (2):\n  00000000BB\n  00000000CC\n")));
        QVERIFY(dry.out.contains(QStringLiteral("még nem ismerem")));
        QVERIFY(!QFileInfo::exists(m_home.file(QStringLiteral("data/vivadizuzud"))));   // a dry run leaves nothing
        QCOMPARE(sim->requests().size(), 1);

        // This reader takes cards only: the first erase is refused. The cards written show
        // where it keeps them, and the card that goes is written over with a listed one.
        const Run synced = cli(sync + QStringList{QStringLiteral("--yes"), QStringLiteral("--door"), QStringLiteral("Hátsó kapu"), list});
        QCOMPARE(synced.status, 0);
        QVERIFY(synced.err.contains(QStringLiteral("megtanultam")));
        QVERIFY(synced.err.contains(QStringLiteral("1 helyre")));
        QCOMPARE(sim->requests().size(), 1 + 1 + 2 + 1 + 1 + 1 + 1);
        const QJsonArray kept = QJsonDocument::fromJson(cli({QStringLiteral("snapshots"), QStringLiteral("--json")}).out.toUtf8()).array();
        QCOMPARE(kept.size(), 3);
        QCOMPARE(kept[2].toObject()[QStringLiteral("reason")].toString(), QStringLiteral("before-sync"));
        QCOMPARE(kept[2].toObject()[QStringLiteral("cards")].toInt(), 3);
        QCOMPARE(readFile(kept[2].toObject()[QStringLiteral("path")].toString()), image);
        QCOMPARE(kept[2].toObject()[QStringLiteral("door")].toString(), QStringLiteral("Hátsó kapu"));

        // Never over an existing file; a file that is no snapshot is not restored.
        QCOMPARE(cli({QStringLiteral("snapshot"), list}).status, 4);
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("--yes"), list}).status, 4);
        QCOMPARE(sim->requests().size(), 8);

        // Another door's snapshot is not restored onto this door's reader, known by its memory, unless asked.
        const QString front = QFileInfo(kept[2].toObject()[QStringLiteral("path")].toString()).path()
            + QStringLiteral("/20260101T000000.000Z_port4_snapshot_door-Főbejárat.bin");
        QVERIFY(writeFile(front, image));
        const Run wrong = cli({QStringLiteral("restore"), QStringLiteral("--yes"), front});
        QVERIFY(wrong.status == 1 && wrong.err.contains(QStringLiteral("„Hátsó kapu” kártyaolvasója van")));
        QCOMPARE(sim->requests().size(), 9);
    }

    void listsAsCaretakersKeepThem()
    {
        auto sim = startReader(4);
        // A spreadsheet export with the flat first: only flats 1 and 10-12 start with "1".
        QByteArray flats = "Lakás;Név;Típus;Idő;Kód\r\n";
        for (int flat = 1; flat <= 12; ++flat)
            flats += QByteArray::number(flat) + ";Lakó;1;200;BB00000000" + QByteArray::number(flat + 16, 16) + "\r\n";
        const QString exported = file("export.csv", flats);
        for (const QStringList &command : {QStringList{QStringLiteral("verify")},
                                           QStringList{QStringLiteral("sync"), QStringLiteral("--time=5"), QStringLiteral("--yes")}}) {
            const Run refused = cli(command + QStringList{exported});
            QCOMPARE(refused.status, 4);
            QVERIFY(refused.err.contains(QStringLiteral("8 gyanús sor van, ezekben a sorokban: 3, 4, 5, 6, 7 és még 3 másikban")));
        }
        const Run uploaded = cli({QStringLiteral("upload"), QStringLiteral("--time=5"), exported});
        QCOMPARE(uploaded.status, 0);
        QVERIFY(uploaded.err.contains(QStringLiteral("8 sort kihagytam")));
        QCOMPARE(sim->requests().size(), 4);

        // A code on many lines takes one place in the reader: 1233 codes and their repeats are no overflow.
        QByteArray many;
        for (int i = 0; i < ReaderCapacity + 20; ++i)
            many += "1,200,BB" + QByteArray::number(i % ReaderCapacity, 16).rightJustified(10, '0') + "\r\n";
        const Run verified = cli({QStringLiteral("verify"), file("repeats.csv", many)});
        QCOMPARE(verified.status, 5);
        QVERIFY(verified.out.contains(QStringLiteral("Hiányzik a kártyaolvasóból (1229):")));

        // A snapshot without a card would empty the reader.
        const Run empty = cli({QStringLiteral("restore"), QStringLiteral("--yes"), file("empty.bin", QByteArray(DumpLength, char(0xFF)))});
        QCOMPARE(empty.status, 4);
        QCOMPARE(sim->requests().size(), 5);

        // What was typed during the first read is no answer to the question that follows it.
        PseudoTerminal terminal;
        QProcess asking;
        asking.setStandardInputFile(terminal.path());
        asking.start(QStringLiteral(CLI_PATH), {QStringLiteral("sync"), QStringLiteral("--time=5"), exported.chopped(10) + QStringLiteral("repeats.csv")});
        QVERIFY(::write(terminal.master(), "igen\n", 5) == 5);
        QByteArray said;
        QTRY_VERIFY((said += asking.readAllStandardError()).contains("[igen/nem]") || asking.state() == QProcess::NotRunning);
        QVERIFY(::write(terminal.master(), "nem\n", 4) == 4);
        QVERIFY(asking.waitForFinished(10000));
        QCOMPARE(asking.exitCode(), 1);
        QCOMPARE(sim->requests().size(), 6);
    }

    void stoppedProgramsGiveThePortBack_data()
    {
        QTest::addColumn<bool>("window");
        QTest::addColumn<int>("signal");
        QTest::newRow("command line, Ctrl-C") << false << int(SIGINT);
        QTest::newRow("command line, terminal closed") << false << int(SIGHUP);
        QTest::newRow("window, session ended") << true << int(SIGTERM);
        // Killed, it cannot: the lock file is stale, and the reader's line clears its exclusive use.
        QTest::newRow("command line, killed") << false << int(SIGKILL);
    }
    void stoppedProgramsGiveThePortBack()
    {
        QFETCH(bool, window);
        QFETCH(int, signal);
        auto sim = startReader(4, {});   // at the pace of the line: 21 s for a dump
        const QByteArray before = "1,200,BB0000000001\r\n";
        const QString out = file("megszakitott.csv", before);
        QProcess program;
        if (window) {   // it holds the port from start-up; its file dialog is open
            program.start(QStringLiteral(APP_PATH), {});
            QTRY_COMPARE(portState(4), QStringLiteral("busy"));
        } else {
            program.start(QStringLiteral(CLI_PATH), {QStringLiteral("readout"), out});
            QTRY_VERIFY(sim->requests().size() == 1);
            QTest::qWait(500);
        }
        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(5000));
        if (signal != SIGKILL)
            QCOMPARE(program.exitCode(), window ? 0 : 130);
        QCOMPARE(readFile(out), before);
        QCOMPARE(portState(4), QStringLiteral("free"));
        if (signal != SIGKILL)
            QVERIFY(!QFile::exists(lockFolder() + QLatin1Char('/') + lockFileName(sim->devicePath())));
        // The next program opens it: no exclusive use left (root would see it only by asking).
        CommPort next;
        next.setPortNumber(4);
        QTRY_VERIFY(next.open());
    }

    void snapshotsThatAreNobodysWayBack()
    {
        const QByteArray image = memoryOf(300);
        auto sim = startReader(4, {QStringLiteral("--fast"), QStringLiteral("--image"), file("memory.bin", image)});
        // Into a name as long as a file name may be: its temporary neighbour still fits.
        const QString kept = m_home.file(QString(246, QLatin1Char('n')) + QStringLiteral(".bin"));
        QCOMPARE(cli({QStringLiteral("snapshot"), kept}).status, 0);
        QCOMPARE(readFile(kept), image);
        // One that others may write is nobody's way back.
        QVERIFY(QFile::setPermissions(kept, QFileDevice::Permissions(0x6666)));
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("--yes"), kept}).status, 4);
        // Nor is a link to a snapshot, planted in the folder the listing marks it foreign in.
        QVERIFY(QFile::setPermissions(kept, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QString planted = m_home.file(QStringLiteral("data/vivadizuzud/snapshots/20261207T164955.123Z_port4_snapshot.bin"));
        QVERIFY(QDir().mkpath(QFileInfo(planted).path()) && QFile::link(kept, planted));
        QCOMPARE(cli({QStringLiteral("restore"), QStringLiteral("--yes"), planted}).status, 4);
        QVERIFY(QFile::remove(planted));

        // A snapshot folder that is a link to another folder is nobody's way back.
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("elsewhere")));
        QDir(m_home.file(QStringLiteral("data/vivadizuzud"))).removeRecursively();
        QVERIFY(QFile::link(m_home.file(QStringLiteral("elsewhere")), m_home.file(QStringLiteral("data/vivadizuzud"))));
        const Run listed = cli({QStringLiteral("snapshots"), QStringLiteral("--json")});
        QCOMPARE(listed.status, 4);
        QVERIFY(listed.out.isEmpty());
        QCOMPARE(cli({QStringLiteral("snapshot")}).status, 4);
        QFile::remove(m_home.file(QStringLiteral("data/vivadizuzud")));
    }

    void plantedLockFilesDoNotBlockThePort_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("a FIFO that would block whoever reads it") << true;
        QTest::newRow("another user's file naming pid 1") << false;
    }
    void plantedLockFilesDoNotBlockThePort()
    {
        QFETCH(bool, fifo);
        if (lockFolder().isEmpty() || ::geteuid() != 0)
            QSKIP("needs the system's lock folder and root to plant as another user");
        auto sim = startReader(4);
        const QByteArray lock = QFile::encodeName(lockFolder() + QLatin1Char('/') + lockFileName(sim->devicePath()));
        QVERIFY(fifo ? ::mkfifo(lock.constData(), 0644) == 0 : writeFile(QFile::decodeName(lock), "1\n"));
        const auto removeLock = qScopeGuard([&] { ::unlink(lock.constData()); });
        QCOMPARE(::chown(lock.constData(), Nobody, Nobody), 0);
        QCOMPARE(portState(4), QStringLiteral("free"));
        const Run readout = cli({QStringLiteral("readout"), m_home.file(QStringLiteral("planted.csv"))});
        QCOMPARE(readout.status, 0);
    }

    void flockOfAnotherUserIsSeen()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to look as another user");
        auto sim = startReader(4);
        // Another user may use the device, with a port map of their own, but cannot see root's descriptors.
        QFile::setPermissions(sim->devicePath(), QFileDevice::Permissions(0x6666));
        QFile::setPermissions(m_home.path(), QFileDevice::Permissions(0x7755));
        const QString theirs = m_home.file(QStringLiteral("nobody"));
        QVERIFY(QDir().mkpath(theirs + QStringLiteral("/alap")));
        QVERIFY(writeFile(theirs + QStringLiteral("/alap/alap.conf"),
                          "[ports]\nauto=false\n4=" + sim->devicePath().toUtf8() + "\n"));
        for (const QString &path : {theirs, theirs + QStringLiteral("/alap"), theirs + QStringLiteral("/alap/alap.conf")})
            QCOMPARE(::chown(QFile::encodeName(path).constData(), Nobody, Nobody), 0);
        QProcess holder;
        // flock(1) holds descriptor and lock; its child (cat, ended by our closing its input) holds neither.
        holder.start(QStringLiteral("flock"), {QStringLiteral("--exclusive"), QStringLiteral("--close"), sim->devicePath(),
                                               QStringLiteral("cat")});
        QTRY_COMPARE(portState(4), QStringLiteral("busy"));
        const qint64 holderPid = holder.processId();
        const Run asNobody = run(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(Nobody),
            QStringLiteral("--regid=%1").arg(Nobody), QStringLiteral("--clear-groups"), QStringLiteral("env"),
            QStringLiteral("XDG_CONFIG_HOME=") + theirs, QStringLiteral(CLI_PATH), QStringLiteral("ports"),
            QStringLiteral("--json")});
        holder.kill();
        holder.waitForFinished();
        if (asNobody.status == 126 || asNobody.status == 127)
            QSKIP("the other user cannot run the program from this build folder");
        const QJsonObject port = QJsonDocument::fromJson(asNobody.out.toUtf8()).array().first().toObject();
        QCOMPARE(port[QStringLiteral("state")].toString(), QStringLiteral("busy"));
        QCOMPARE(port[QStringLiteral("holders")].toArray().first().toObject()[QStringLiteral("pid")].toInteger(),
                 holderPid);
        // And what this program holds, others see held: its own flock.
        CommPort ours;
        ours.setPortNumber(4);
        QVERIFY(ours.open());
        QCOMPARE(run(QStringLiteral("flock"), {QStringLiteral("--nonblock"), sim->devicePath(), QStringLiteral("true")}).status, 1);
    }

    // Advice to paste: a POSIX shell reads it back as the same arguments, and runs nothing else.
    void adviceReadsBackAsTheSameArguments_data()
    {
        QTest::addColumn<QString>("word");
        QTest::newRow("a door that closes the quote") << QStringLiteral("x'; echo INJECTED; '");
        QTest::newRow("a file name with a space") << QStringLiteral("Lépcsőház lista.csv");
        QTest::newRow("what a shell expands") << QStringLiteral("$(echo INJECTED) `echo INJECTED` ${HOME} * ~ !");
        QTest::newRow("quotes, a backslash, a tab, a new line") << QStringLiteral("a\"b\\c'd\te\nf");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain") << QStringLiteral("lista.csv");
    }
    void adviceReadsBackAsTheSameArguments()
    {
        QFETCH(QString, word);
        const QStringList arguments{QStringLiteral("sync"), QStringLiteral("--door"), word, word};
        QProcess shell;
        QString line = Texts::commandLine(arguments);
        QVERIFY(line.startsWith(QStringLiteral("vivadizuzud-cli ")));
        line.replace(0, 15, QStringLiteral("printf '%s\\0'"));   // each argument as the shell hands it over
        shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), line});
        QVERIFY(shell.waitForFinished(5000));
        QCOMPARE(shell.exitCode(), 0);
        const QByteArray out = shell.readAllStandardOutput();
        QCOMPARE(QString::fromUtf8(out).split(QChar(0)), arguments + QStringList{QString()});
    }

    void exitStatuses()
    {
        const Run noPort = cli({QStringLiteral("readout"), m_home.file(QStringLiteral("x.csv"))});
        QCOMPARE(noPort.status, 2);
        QVERIFY(noPort.err.startsWith(Texts::NoFreePort + QLatin1Char('\n')));
        auto sim = startReader(4);
        const Run missing = cli({QStringLiteral("upload"), QStringLiteral("--time"), QStringLiteral("5"),
                                 m_home.file(QStringLiteral("nincs.csv"))});
        QCOMPARE(missing.status, 4);
        QCOMPARE(cli({QStringLiteral("upload"), m_home.file(QStringLiteral("x.csv"))}).status, 1);   // no --time
        QCOMPARE(cli({QStringLiteral("readout"), QStringLiteral("--port"), QStringLiteral("999"), QStringLiteral("x.csv")}).status, 1);
        QCOMPARE(cli({QStringLiteral("readout"), QStringLiteral("--time"), QStringLiteral("5"), QStringLiteral("x.csv")}).status, 1);
        QCOMPARE(cli({QStringLiteral("ports"), QStringLiteral("--json=x")}).status, 1);

        // Nothing of a list with a card line that says no code goes in; the lines are named.
        const QString broken = file("hibas.csv", ThreeCards + "1,200,BB01234G6789\r\n");
        const Run malformed = cli({QStringLiteral("upload"), QStringLiteral("--time=5"), QStringLiteral("--"), broken});
        QCOMPARE(malformed.status, 4);
        QVERIFY(malformed.err.contains(QStringLiteral("(6. sor)")));
        QVERIFY(malformed.err.contains(QStringLiteral("„1,200,BB01234G6789”")));
        const Run notAllRead = cli({QStringLiteral("expiring"), broken});   // never "none expire" of a list not all read
        QCOMPARE(notAllRead.status, 4);
        QVERIFY(notAllRead.err.contains(QStringLiteral("(6. sor)")));
        const Run noCard = cli({QStringLiteral("upload"), QStringLiteral("--time"), QStringLiteral("5"),
                                file("ures.csv", "3,200,0715\r\n")});
        QCOMPARE(noCard.status, 4);

        // A name that is not UTF-8 would become another name: refused before anything is sent.
        const Run badName = run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"),
            QStringLiteral("cd \"$1\" && exec \"$0\" readout \"$(printf 'rossznev\\351.csv')\""), QStringLiteral(CLI_PATH), m_home.path()});
        QCOMPARE(badName.status, 1);
        QCOMPARE(QDir(m_home.path()).entryList({QStringLiteral("rossznev*")}), QStringList());
        QCOMPARE(sim->requests(), QStringList());
    }

    void progressLineFitsTheTerminal()
    {
        // Longer than the terminal, the line would wrap into a new one at every redraw.
        FILE *log = tmpfile();
        TerminalProgress progress(log);
        progress.expectWork(1, 1233);
        progress.beginPhase(ProgressView::Phase::Writing, 1233);
        for (int width : {1, 12, 30, 45, 79, 200}) {
            for (int done : {0, 617, 1233})
                QVERIFY(progress.line(done, width).size() <= width - 1);
        }
        // The time left counts the read-back still to come, not only this phase.
        QVERIFY(progress.line(617, 80).contains(QStringLiteral("írás: 617/1233 rekord [###")));
        QVERIFY(progress.line(1233, 80).endsWith(QStringLiteral("hátra: 0:21")));
        fclose(log);
    }

    void windowProgramWithoutDisplay()
    {
        QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            bare.remove(QLatin1String(name));
        const Run version = run(QStringLiteral(APP_PATH), {QStringLiteral("--version")}, bare);
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith(QStringLiteral("vivadizuzud ")));
        const Run window = run(QStringLiteral(APP_PATH), {}, bare);
        QCOMPARE(window.status, 1);
        QCOMPARE(window.err.count(QLatin1Char('\n')), 1);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
