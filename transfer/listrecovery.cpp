#include "transfer/listrecovery.h"
#include "serial/smallfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <QTimeZone>
#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <unistd.h>

namespace {

const QByteArray Magic = QByteArrayLiteral("vivadizuzud-edits 1");

QString fullPath(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

// One file per list, named by a hash of the list's full path.
QString editsFile(const QString &path)
{
    const QByteArray key =
        QCryptographicHash::hash(fullPath(path).toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return editsFolder() + QLatin1Char('/') + QString::fromLatin1(key) + QStringLiteral(".edits");
}

QByteArray stampLine(const FileStamp &s)
{
    return QByteArray::number(quint64(s.device)) + ' ' + QByteArray::number(quint64(s.inode)) + ' '
        + QByteArray::number(s.size) + ' ' + QByteArray::number(s.modified) + ' '
        + (s.hash.isEmpty() ? QByteArray("-") : s.hash.toHex()) + ' ' + (s.throughLink ? '1' : '0');
}

std::optional<FileStamp> stampFrom(const QByteArray &line)
{
    const QList<QByteArray> f = line.split(' ');
    if (f.size() != 6)
        return std::nullopt;
    FileStamp s;
    s.device = dev_t(f[0].toULongLong());
    s.inode = ino_t(f[1].toULongLong());
    s.size = f[2].toLongLong();
    s.modified = f[3].toLongLong();
    s.hash = f[4] == "-" ? QByteArray() : QByteArray::fromHex(f[4]);
    s.throughLink = f[5] == "1";
    return s;
}

} // namespace

QString editsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/vivadizuzud/unsaved");
}

FileFault keepUnsavedEdits(const ListDocument &document)
{
    const QString folder = editsFolder();
    makeFolders(folder);
    if (const FileFault fault = ownFolder(folder); fault != FileFault::None)
        return fault;
    const QByteArray text = Magic + '\n' + QUrl::toPercentEncoding(fullPath(document.path())) + '\n'
        + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + '\n'
        + stampLine(document.stamp()) + '\n' + document.bytes();
    QByteArray temporary = QFile::encodeName(folder + QStringLiteral("/.edits-XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);   // mode 0600
    if (fd < 0)
        return faultFromErrno(errno);
    int error = writeSyncedAndClose(fd, text);
    if (error == 0 && ::rename(temporary.constData(), QFile::encodeName(editsFile(document.path())).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return faultFromErrno(error);
    }
    syncFolder(folder);
    return FileFault::None;
}

std::optional<UnsavedEdits> findUnsavedEdits(const QString &path)
{
    if (ownFolder(editsFolder()) != FileFault::None)
        return std::nullopt;
    struct stat info;
    const std::optional<QByteArray> text = readSmallFile(editsFile(path), MaxListFileSize + 4096, &info);
    if (!text || info.st_uid != ::geteuid() || (info.st_mode & 022) != 0)
        return std::nullopt;
    QList<QByteArray> head;
    qsizetype at = 0;
    while (head.size() < 4) {
        const qsizetype end = text->indexOf('\n', at);
        if (end < 0)
            return std::nullopt;
        head.append(text->mid(at, end - at));
        at = end + 1;
    }
    const std::optional<FileStamp> stamp = stampFrom(head[3]);
    const QString listPath = QString::fromUtf8(QByteArray::fromPercentEncoding(head[1]));
    if (head[0] != Magic || !stamp || listPath != fullPath(path))
        return std::nullopt;
    UnsavedEdits edits{path, *stamp, QDateTime::fromString(QString::fromLatin1(head[2]), Qt::ISODateWithMs),
                       text->mid(at)};
    edits.kept.setTimeZone(QTimeZone::utc());
    return edits;
}

void dropUnsavedEdits(const QString &path)
{
    ::unlink(QFile::encodeName(editsFile(path)).constData());
}
