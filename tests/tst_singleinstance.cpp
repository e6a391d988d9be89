// One running program per machine: across processes, and with nothing left
// behind when the first one is gone.
#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The child mode of this test program: reports whether it could be the first instance.
int runAsChild(const QByteArray &name)
{
    SingleInstance instance(name);
    return instance.isFirst() ? 0 : 1;
}

int childResult(const QByteArray &name)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), QString::fromLatin1(name)});
    if (!child.waitForFinished(10000))
        return -1;
    return child.exitCode();
}

QByteArray uniqueName(const char *what)
{
    return QByteArray("vivadizuzud-test-") + what + '-' + QByteArray::number(QCoreApplication::applicationPid());
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondProcessIsRefused()
    {
        const QByteArray name = uniqueName("cross");
        QCOMPARE(childResult(name), 0);   // nobody running yet
        {
            SingleInstance first(name);
            QVERIFY(first.isFirst());
            QCOMPARE(childResult(name), 1);
            SingleInstance sameProcess(name);
            QVERIFY(!sameProcess.isFirst());
        }
        QCOMPARE(childResult(name), 0);   // gone with its process: nothing stale
    }

    void crashLeavesNothingBehind()
    {
        const QByteArray name = uniqueName("crash");
        QProcess crashing;
        crashing.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), QString::fromLatin1(name)});
        QVERIFY(crashing.waitForReadyRead(10000));   // it says when it holds the name
        QCOMPARE(childResult(name), 1);
        crashing.kill();
        QVERIFY(crashing.waitForFinished(5000));
        QCOMPARE(childResult(name), 0);
    }

    void nameHeldByAnotherProgramDoesNotKeepItFromStarting()
    {
        // Anyone can bind the name; what does not greet is no copy of this program.
        const QByteArray name = uniqueName("squat");
        for (const int listening : {1, 0, -1}) {   // -1: listens, never accepts, its backlog full
            const int squatter = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
            QCOMPARE(::bind(squatter, reinterpret_cast<sockaddr *>(&address),
                            socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())), 0);
            if (listening)
                QCOMPARE(::listen(squatter, 0), 0);
            QList<int> callers;
            for (int i = 0; listening < 0 && i < 2; ++i) {
                callers.append(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
                ::connect(callers.last(), reinterpret_cast<sockaddr *>(&address),
                          socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size()));
            }
            {
                SingleInstance first(name);   // a connect that blocked would wait here for good
                QVERIFY(first.isFirst());
                QCOMPARE(childResult(name), 1);   // copies still find each other
            }
            for (int fd : callers)
                ::close(fd);
            ::close(squatter);
        }
    }

    void namesAreIndependent()
    {
        SingleInstance a(uniqueName("a"));
        SingleInstance b(uniqueName("b"));
        QVERIFY(a.isFirst());
        QVERIFY(b.isFirst());
    }

    void nameComesFromTheEnvironment()
    {
        const QByteArray name = uniqueName("env");
        qputenv("VIVADIZUZUD_INSTANCE", name);
        SingleInstance fromEnvironment;
        QVERIFY(fromEnvironment.isFirst());
        QVERIFY(!SingleInstance(name).isFirst());
        qunsetenv("VIVADIZUZUD_INSTANCE");
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runAsChild(argv[2]);
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0) {
        SingleInstance instance(argv[2]);
        fputs("held\n", stdout);
        fflush(stdout);
        for (;;)
            QThread::sleep(1);
    }
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
