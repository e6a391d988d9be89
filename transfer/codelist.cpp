#include "transfer/codelist.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype ChunkSize = 64 * 1024;
// Only the first character and the last ten of a line matter; a line longer
// than this (a binary file has them) keeps its head byte and its tail.
constexpr qsizetype MaxKeptLine = 4096;
// Windows editors save "UTF-8 with BOM" files starting with these bytes.
constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads hex digits until the first character that is not one; none gives 0.
quint8 lenientHexPair(QByteArrayView piece)
{
    int value = 0;
    for (char c : piece) {
        const int digit = hexDigit(c);
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return static_cast<quint8>(value);
}

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// Opens a file only when it is a regular file (a symbolic link to one is
// followed). It is looked at before it is opened, so a FIFO or a device is
// never opened at all, and again after, in case it was swapped meanwhile; the
// open itself never waits.
FileFault openRegularFile(const QByteArray &name, int flags, int &fd)
{
    fd = -1;
    struct stat info;
    if (::stat(name.constData(), &info) != 0)
        return faultFromErrno(errno);
    if (!S_ISREG(info.st_mode))
        return FileFault::NotRegular;
    fd = ::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return faultFromErrno(errno);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fd = -1;
        return FileFault::NotRegular;
    }
    return FileFault::None;
}

// Whether a file ends in the middle of a line: not empty, and its last byte is
// no line end. A readout appended to it starts on a line of its own.
bool endsInsideLine(int fd, off_t size)
{
    char last = '\n';
    return size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n' && last != '\r';
}

} // namespace

FileFault faultFromErrno(int error)
{
    switch (error) {
    case 0: return FileFault::None;
    case ENOENT: case ENOTDIR: return FileFault::Missing;
    case EACCES: case EPERM: return FileFault::NoPermission;
    case EROFS: return FileFault::ReadOnly;
    case ENOSPC: case EDQUOT: case EFBIG: return FileFault::DiskFull;
    default: return FileFault::Other;
    }
}

QByteArray headerLine()
{
    return QByteArrayLiteral("3,200,0715");
}

QByteArray cardLine(const CardCode &code)
{
    return QByteArrayLiteral("1,200,BB") + hexCode(code).toLatin1();
}

std::optional<CardCode> decodeCardLine(QByteArrayView line)
{
    if (line.isEmpty() || line.front() != '1')
        return std::nullopt;
    const QByteArrayView tail = line.size() > 10 ? line.last(10) : line;
    CardCode code{};
    for (int i = 0; i < 5; ++i) {
        const qsizetype at = i * 2;
        code[i] = at < tail.size() ? lenientHexPair(tail.sliced(at, qMin<qsizetype>(2, tail.size() - at)))
                                   : 0;
    }
    return code;
}

CodeListReader::~CodeListReader()
{
    close();
}

FileFault CodeListReader::open(const QString &path)
{
    close();
    if (path.isEmpty())
        return m_fault = FileFault::NoName;
    return m_fault = openRegularFile(QFile::encodeName(path), O_RDONLY, m_fd);
}

void CodeListReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    m_skipLf = false;
    m_atStart = true;
}

bool CodeListReader::rewind()
{
    if (m_fd < 0 || ::lseek(m_fd, 0, SEEK_SET) != 0)
        return false;
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    m_skipLf = false;
    m_atStart = true;
    return true;
}

bool CodeListReader::fill()
{
    if (m_eof || m_fd < 0)
        return false;
    m_buffer.resize(ChunkSize);
    ssize_t n;
    do {
        n = ::read(m_fd, m_buffer.data(), size_t(ChunkSize));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_fault = faultFromErrno(errno);
        if (m_fault == FileFault::None)
            m_fault = FileFault::Other;
    }
    m_buffer.resize(qMax<ssize_t>(n, 0));
    m_pos = 0;
    m_eof = n <= 0;
    if (m_atStart) {
        m_atStart = false;
        if (m_buffer.startsWith(ByteOrderMark))
            m_pos = qstrlen(ByteOrderMark);
    }
    return n > 0;
}

bool CodeListReader::readLine(QByteArray &line)
{
    line.clear();
    bool any = false;
    for (;;) {
        while (m_pos >= m_buffer.size()) {
            if (!fill())
                return any && m_fault == FileFault::None;
        }
        if (m_skipLf) {
            m_skipLf = false;
            if (m_buffer[m_pos] == '\n') {
                ++m_pos;
                continue;
            }
        }
        any = true;
        const char *begin = m_buffer.constData() + m_pos;
        const char *end = m_buffer.constData() + m_buffer.size();
        const char *stop = begin;
        while (stop < end && *stop != '\n' && *stop != '\r')
            ++stop;
        line.append(begin, stop - begin);
        if (line.size() > MaxKeptLine)
            line = line.first(1) + line.last(MaxKeptLine / 2);
        m_pos += stop - begin;
        if (stop < end) {
            m_skipLf = *stop == '\r';
            ++m_pos;
            return true;
        }
    }
}

QList<CardCode> readCardCodes(CodeListReader &reader, int limit)
{
    QList<CardCode> codes;
    QByteArray line;
    while (codes.size() <= limit && reader.readLine(line)) {
        if (const auto code = decodeCardLine(line))
            codes.append(*code);
    }
    return codes;
}

FileFault checkAppendTarget(const QString &path)
{
    if (path.isEmpty())
        return FileFault::NoName;
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return FileFault::NotRegular;
        return ::access(name.constData(), W_OK) == 0 ? FileFault::None : faultFromErrno(errno);
    }
    if (errno != ENOENT)
        return faultFromErrno(errno);
    // A new list: its folder must be there and take a new file.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return FileFault::Missing;
    return ::access(folder.constData(), W_OK) == 0 ? FileFault::None : faultFromErrno(errno);
}

FileFault appendReadout(const QString &path, const QList<CardCode> &codes)
{
    if (path.isEmpty())
        return FileFault::NoName;
    QByteArray text = headerLine() + "\r\n";
    for (const CardCode &code : codes)
        text += cardLine(code) + "\r\n";

    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    bool created = false;
    FileFault fault = openRegularFile(name, O_RDWR | O_APPEND, fd);
    if (fault == FileFault::Missing) {
        fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0644);
        created = fd >= 0;
        fault = created ? FileFault::None : faultFromErrno(errno);
    }
    if (fault != FileFault::None)
        return fault;
    struct stat before;
    if (::fstat(fd, &before) != 0) {
        const int error = errno;
        ::close(fd);
        return faultFromErrno(error);
    }
    if (endsInsideLine(fd, before.st_size))
        text.prepend("\r\n");

    int error = 0;
    if (!writeAll(fd, text))
        error = errno;
    else if (::fsync(fd) != 0 && errno != EINVAL)   // EINVAL: cannot sync there; nothing lost
        error = errno;
    if (error != 0) {
        if (created) {
            ::unlink(name.constData());
        } else if (::ftruncate(fd, before.st_size) == 0) {
            ::fsync(fd);
        }
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
        if (created)
            ::unlink(name.constData());
        else if (::truncate(name.constData(), before.st_size) != 0)
            error = errno;   // could not be put back: say so rather than claim it unchanged
    }
    return faultFromErrno(error);
}
