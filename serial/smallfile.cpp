#include "serial/smallfile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

std::optional<QByteArray> readSmallFile(const QString &path, qsizetype maxBytes, struct stat *info)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    // /proc and /sys report a size of 0 or 4096 whatever they hold: read until the end.
    QByteArray content(maxBytes, '\0');
    qsizetype done = 0;
    while (done < maxBytes) {
        const ssize_t n = ::read(fd, content.data() + done, size_t(maxBytes - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    content.truncate(done);
    if (info)
        *info = status;
    return content;
}
