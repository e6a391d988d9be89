#include "serial/linetrace.h"
#include "serial/frames.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_fd = -1;
QElapsedTimer g_since;

// How every trace of ours begins: a trace is appended to only when it is one.
constexpr char TraceHeader[] = "# vivadizuzud nyomkövetés";

// Frames up to this length are written whole; longer ones (the dump) as their ends and a hash.
constexpr qsizetype WholeFrame = 64, EndBytes = 32;

QByteArray hex(QByteArrayView bytes)
{
    return bytes.toByteArray().toHex(' ').toUpper();
}

void write(QByteArray line)
{
    if (g_fd < 0)
        return;
    line = QByteArray::number(g_since.elapsed()).rightJustified(8) + " ms  " + line + '\n';
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t n = ::write(g_fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;   // a full disk loses trace lines, never the transfer
        done += n;
    }
}

void frame(const char *direction, QByteArrayView bytes)
{
    if (g_fd < 0 || bytes.isEmpty())
        return;
    QByteArray line = direction + QByteArray(" ") + QByteArray::number(bytes.size()) + "  ";
    if (bytes.size() <= WholeFrame)
        line += hex(bytes);
    else
        line += "sha256 " + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "  first "
            + hex(bytes.first(EndBytes)) + "  last " + hex(bytes.last(EndBytes));
    write(line);
}

} // namespace

namespace LineTrace {

namespace {

QString g_perOperation;   // a window's trace path; empty: none, or one file for the whole run
QString g_program;
int g_operations = 0;
bool g_firstTaken = false;   // the file made at start holds the first operation

QString operationPath(int number)
{
    const QFileInfo info(g_perOperation);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('-') + QString::number(number) + suffix;
}

} // namespace

int startPerOperation(const QString &path, const QString &program)
{
    g_perOperation = path;
    g_program = program;
    g_operations = 1;
    g_firstTaken = false;
    return start(operationPath(g_operations), program);
}

void beginOperation(const QString &what)
{
    if (g_perOperation.isEmpty())
        return;
    if (std::exchange(g_firstTaken, true))
        start(operationPath(++g_operations), g_program + QStringLiteral(": ") + what);
    else
        decision(QStringLiteral("operation: ") + what);
}

bool takeOption(QStringList &args, QString &path)
{
    for (qsizetype i = 0; i < args.size() && args[i] != QLatin1String("--"); ++i) {
        if (args[i] == QLatin1String("--trace") && i + 1 < args.size())
            path = args.takeAt(i + 1);
        else if (args[i].startsWith(QLatin1String("--trace=")))
            path = args[i].mid(8);
        else if (args[i] == QLatin1String("--trace"))
            return false;
        else
            continue;
        args.removeAt(i--);
    }
    return true;
}

int start(const QString &path, const QString &command)
{
    const QByteArray name = QFile::encodeName(path);
    constexpr int Flags = O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(name.constData(), Flags | O_CREAT | O_EXCL, 0600);
    const bool made = fd >= 0;
    if (!made && errno == EEXIST)
        fd = ::open(name.constData(), Flags);
    if (fd < 0)
        return errno;
    struct stat info;
    int error = 0;
    char head[sizeof TraceHeader - 1] = {};
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        error = EPERM;   // a device, a FIFO or another user's file: not ours to fill
    else if (!made && (info.st_nlink != 1 || ::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head)
                       || memcmp(head, TraceHeader, sizeof head) != 0))
        error = EEXIST;   // a list, or a file with another name too: never written over
    if (error != 0) {
        ::close(fd);
        if (made)
            ::unlink(name.constData());
        return error;
    }
    if (g_fd >= 0)
        ::close(g_fd);
    g_fd = fd;
    g_since.start();
    const QByteArray header = TraceHeader + QByteArray(" " VIVADIZUZUD_VERSION ", ")
        + QDateTime::currentDateTime().toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc()).toString(Qt::ISODate).toUtf8()
        + ": " + command.toUtf8().replace('\n', ' ')
        + " -- kártyakódokat tartalmaz: csak annak küldje el, akire a kártyákat is rábízná\n";
    for (qsizetype done = 0; done < header.size();) {
        const ssize_t n = ::write(g_fd, header.constData() + done, size_t(header.size() - done));
        if (n <= 0 && errno != EINTR)
            break;
        done += qMax<ssize_t>(n, 0);
    }
    return 0;
}

void sent(QByteArrayView bytes)
{
    frame(">", bytes);
}

void received(QByteArrayView bytes)
{
    frame("<", bytes);
}

void dropped(QByteArrayView bytes)
{
    frame("x", bytes);
}

void decision(const QString &what)
{
    write("-- " + what.toUtf8());
}

} // namespace LineTrace
