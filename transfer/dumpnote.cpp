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

// A small note replaced whole: it is there as it was, or as it is to be. In a folder others share
// the neighbour's name is this program's own, and a note of another account's is left as it is.
void replaceNote(const QString &path, const QByteArray &text, mode_t mode)
{
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".new-") + QString::number(::getpid()));
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return;
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, text);   // readable by all only where meant
    ::close(fd);
    if (!written || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
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

} // namespace

QString dumpNoteFolder()
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

DumpNote::DumpNote(const QString &device)
{
    if (device.isEmpty())
        return;
    const QByteArray key = QCryptographicHash::hash(device.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    // The system's lock folder (VIVADIZUZUD_SHARED_NOTES names another, for tests that keep theirs apart).
    const QByteArray chosen = qgetenv("VIVADIZUZUD_SHARED_NOTES");
    for (const QByteArray &shared : chosen.isEmpty() ? QList<QByteArray>{"/run/lock", "/var/lock"} : QList<QByteArray>{chosen}) {
        struct stat info;   // root's (or one's own), and sticky, so that only its owner removes a hint
        if (::lstat(shared.constData(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_uid == 0 || info.st_uid == ::geteuid())
            && (info.st_mode & S_ISVTX)) {
            m_hint = QFile::decodeName(shared) + QStringLiteral("/vivadizuzud-dump-") + QString::fromLatin1(key);
            break;
        }
    }
    const QString folder = dumpNoteFolder();
    if (folder.isEmpty())
        return;
    m_path = folder + QStringLiteral("/dump-") + QString::fromLatin1(key);
    m_habits = folder + QStringLiteral("/line-") + QString::fromLatin1(key);
}

qint64 DumpNote::msLeft(qint64 now) const
{
    qint64 left = 0;
    for (const QString &note : {m_path, m_hint}) {
        const std::optional<QByteArray> text = note.isEmpty() ? std::nullopt : readSmallFile(note, 32);
        if (!text)
            continue;
        bool ok = false;
        const qint64 asked = text->trimmed().toLongLong(&ok);
        // A time in the future was not written by this machine's clock as it is: the whole dump is waited out.
        left = qMax(left, !ok || asked > now ? DumpWithPausesMs : qMax<qint64>(0, asked + DumpWithPausesMs - now));
    }
    return left;
}

void DumpNote::asked(qint64 now)
{
    const QByteArray text = QByteArray::number(now) + '\n';
    if (!m_path.isEmpty())
        replaceNote(m_path, text, 0600);
    if (!m_hint.isEmpty())
        replaceNote(m_hint, text, 0644);   // another account's, already there, stays as it is
}

void DumpNote::heardOut()
{
    for (const QString &note : {m_path, m_hint}) {
        if (!note.isEmpty())
            ::unlink(QFile::encodeName(note).constData());   // another account's hint is not ours to remove
    }
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
        replaceNote(m_habits, QByteArray::number(habits.longestPauseMs) + ' ' + QByteArray::number(habits.oddBlocks) + '\n',
                    0600);
}
