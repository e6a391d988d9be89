// Files the person names and files of their own. Nothing here waits on a FIFO
// or a device, nothing is left half-written, and a file that others may change
// while we hold it (a list open in a window) is looked at again before it is
// written over, and written so that it keeps its owner, group, mode and links.
#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// Why a file could not be used, in terms a user can act on.
enum class FileFault {
    None, NoName, BadName, Missing, NotRegular, NoPermission, ReadOnly, DiskFull, Exists, NotASnapshot,
    NotOwn,          // another user's, or others may write it
    Link,            // a symbolic link where a folder of the person's own should be
    Replaced,        // the name now leads to another file than the one that was read
    WriteProtected,  // the file's mode does not let this user write it
    TooLarge,        // far larger than any code list
    Other
};
FileFault faultFromErrno(int error);

// Opens a file the person named, only when it is a regular file (a symbolic
// link to one is followed), never waiting on a FIFO or a device.
FileFault openRegularFile(const QByteArray &name, int flags, int &fd);
// Writes all of data; false with errno set (ENOSPC when the file takes no more).
bool writeAll(int fd, const QByteArray &data);
// A new file's whole contents written and synced, and the file closed: 0 or errno.
int writeSyncedAndClose(int fd, const QByteArray &data);

// A name that reached us whole: no character was lost on the way from the
// bytes of the file system (a name that is not UTF-8 arrives with U+FFFD in it,
// and would name another file).
bool isFaithfulFileName(const QString &path);

// Makes the missing folders of a path, each of them private to the person.
void makeFolders(const QString &folder);
// A real folder of the person's own that nobody else may write, tightened to
// 0700 when it is theirs. Looked at through a descriptor that did not follow a link.
FileFault ownFolder(const QString &folder);
// A new file of mode 0600 in folder with no name yet, so that a program killed before it keeps it
// leaves nothing behind; where the file system cannot, a hidden name made from pattern
// ("/.snapshot-XXXXXX"), held in temporary. The descriptor, or -1 and errno.
int createUnnamed(const QString &folder, const QString &pattern, QByteArray &temporary);
// Gives such a file its name, never over another file: 0, or the errno.
int nameUnnamed(int fd, const QByteArray &temporary, const QByteArray &to);
// Gives a temporary file its name, never over an existing file: 0 or errno.
int nameWithoutReplacing(const QByteArray &from, const QByteArray &to);
// Makes a new name in the folder last through a power cut.
void syncFolder(const QString &folder);

// What a file was when it was read: which file, and what it held.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = -1;            // -1: nothing was read
    qint64 modified = 0;         // nanoseconds since the epoch
    QByteArray hash;             // SHA-256 of the bytes
    bool throughLink = false;    // the name was a symbolic link the person chose to open through
    bool isValid() const { return size >= 0; }
};
// Files larger than this are no code list; they are not read into memory.
inline constexpr qint64 MaxListFileSize = 32 * 1024 * 1024;
// The stamp of an open regular file and, when asked for, its bytes.
FileFault stampFile(int fd, FileStamp &stamp, QByteArray *contents = nullptr);
// Opens and stamps the file a name leads to now; a link is followed only when
// followLink is set.
FileFault stampPath(const QString &path, bool followLink, FileStamp &stamp, QByteArray *contents = nullptr);

// What became of a stamped file under its name.
enum class DiskChange {
    Same,
    Changed,     // the same file, other bytes
    Gone,        // nothing under the name
    Elsewhere,   // the name leads to another file: a link or another file put there
    Unreadable,
};
DiskChange lookAgain(const QString &path, const FileStamp &stamp);

// Writes bytes as the new contents of the file that stamp describes, reached
// through path; refused (Replaced) when the name no longer leads to it, and
// WriteProtected when its mode does not let this user write it. The person's
// own file with one name is replaced whole (a new file beside it, synced,
// renamed over it, with its group and mode). Where that would change the file's
// owner or split its links, or the name is a link chosen to open through, the
// file is written in place, a copy of its old bytes kept beside it (or in the
// person's data folder) until the new ones are synced. keptCopy names that copy
// when a failed write could not be undone. written is the stamp of the result.
FileFault writeOver(const QString &path, const FileStamp &stamp, const QByteArray &bytes, FileStamp &written,
                    QString *keptCopy = nullptr);
// A new file under path, which must not exist, with the mode the umask gives.
FileFault writeNew(const QString &path, const QByteArray &bytes, FileStamp &written);
