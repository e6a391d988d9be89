#include "transfer/dumpnote.h"
#include "serial/smallfile.h"
#include "transfer/pace.h"
#include "transfer/files.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a whole dump may take from its request.
constexpr qint64 DumpWithPausesMs = qint64(DumpSeconds * 1000) + DumpPausesMs;

// A small file of our own folder replaced whole: it is there as it was, or as it is to be.
void replaceNote(const QString &path, const QByteArray &text)
{
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".new"));
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const bool written = writeAll(fd, text);
    ::close(fd);
    if (written)
        ::rename(temporary.constData(), QFile::encodeName(path).constData());
    else
        ::unlink(temporary.constData());
}

// A folder of the person's own that nobody else may write; looked at, never changed (it may be
// /tmp, or a folder others use too).
bool isPrivateBase(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    const bool own = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && !(info.st_mode & 022);
    ::close(fd);
    return own;
}

// Where notes are kept: the runtime folder, or when that is no folder of the person's own
// (unset, /tmp, another user's), the person's cache folder. Empty when neither will do.
QString noteFolder()
{
    for (const auto location : {QStandardPaths::RuntimeLocation, QStandardPaths::GenericCacheLocation}) {
        const QString base = QStandardPaths::writableLocation(location);
        if (base.isEmpty())
            continue;
        const QString folder = base + QStringLiteral("/vivadizuzud");
        if (!QFileInfo::exists(base))
            makeFolders(folder);   // a cache folder not made yet is made the person's own
        if (!isPrivateBase(base))
            continue;
        makeFolders(folder);
        if (ownFolder(folder) == FileFault::None)
            return folder;
    }
    return {};
}

} // namespace

DumpNote::DumpNote(const QString &device)
{
    const QString folder = noteFolder();
    if (device.isEmpty() || folder.isEmpty())
        return;
    const QByteArray key = QCryptographicHash::hash(device.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_path = folder + QStringLiteral("/dump-") + QString::fromLatin1(key);
    m_habits = folder + QStringLiteral("/line-") + QString::fromLatin1(key);
}

qint64 DumpNote::msLeft(qint64 now) const
{
    if (m_path.isEmpty())
        return 0;
    const std::optional<QByteArray> text = readSmallFile(m_path, 32);
    if (!text)
        return 0;
    bool ok = false;
    const qint64 asked = text->trimmed().toLongLong(&ok);
    // A time in the future was not written by this machine's clock as it is: the whole dump is waited out.
    if (!ok || asked > now)
        return DumpWithPausesMs;
    return qMax<qint64>(0, asked + DumpWithPausesMs - now);
}

void DumpNote::asked(qint64 now)
{
    if (!m_path.isEmpty())
        replaceNote(m_path, QByteArray::number(now) + '\n');
}

void DumpNote::heardOut()
{
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
}

LineHabits DumpNote::habits() const
{
    LineHabits habits;
    const std::optional<QByteArray> text = m_habits.isEmpty() ? std::nullopt : readSmallFile(m_habits, 64);
    const QList<QByteArray> fields = text ? text->trimmed().split(' ') : QList<QByteArray>();
    if (fields.size() == 2) {   // anything else is taken as nothing seen yet
        habits.longestPauseMs = qBound(qint64(0), qint64(fields[0].toLongLong()), qint64(ReadoutStallMs));
        habits.oddBlocks = qBound(0, fields[1].toInt(), int(DumpExaminedBlocks));
    }
    return habits;
}

void DumpNote::keepHabits(const LineHabits &habits)
{
    if (!m_habits.isEmpty())
        replaceNote(m_habits, QByteArray::number(habits.longestPauseMs) + ' ' + QByteArray::number(habits.oddBlocks) + '\n');
}
