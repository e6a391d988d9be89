// Snapshots: the reader's whole memory (the 20490 bytes of a dump, as
// received, nothing else) kept in a file before and after every change, so
// there is always a way back. The folder is the person's own; a snapshot is
// written whole, never overwritten and never deleted by the program.
#pragma once

#include "transfer/codelist.h"

#include <QDateTime>
#include <QList>
#include <QString>

enum class SnapshotReason { Snapshot, BeforeSync, AfterSync, BeforeRestore, AfterRestore };
QString reasonKey(SnapshotReason reason);   // "snapshot", "before-sync", ... as in file names

// $XDG_DATA_HOME/vivadizuzud/snapshots, else ~/.local/share/vivadizuzud/snapshots.
QString snapshotFolder();
// The folder and the vivadizuzud folder above it must be real folders of the
// person's own that nobody else may write: anyone who could would plant the
// state a restore goes back to. One of the person's own is tightened to 0700;
// another user's is refused. create: made (0700) when missing; otherwise a
// missing folder is FileFault::Missing.
FileFault checkSnapshotFolder(const QString &folder, bool create);

// A snapshot being made. Its file is opened before the reader is asked (a
// temporary one beside where it goes), and once the dump is in, it is written,
// synced and given its name, which no existing file ever loses.
class SnapshotFile
{
public:
    SnapshotFile() = default;
    ~SnapshotFile();   // a snapshot never finished leaves nothing behind
    SnapshotFile(const SnapshotFile &) = delete;
    SnapshotFile &operator=(const SnapshotFile &) = delete;

    // In the snapshot folder (made, mode 0700, when missing; snapshotFolder() is the person's), named when kept.
    FileFault openInFolder(const QString &folder);
    // As this file, which must not exist.
    FileFault openAs(const QString &path);
    // Writes the dump and gives the file its name: for the folder, the time,
    // the port, the reason and the door (when it has a name), so that names sort by time.
    // taken: when the memory was read, by the transfer's clock; invalid: now.
    FileFault keep(const QByteArray &dump, int portNumber, SnapshotReason reason, const QString &door = {},
                   const QDateTime &taken = {});
    QString path() const { return m_path; }   // where it was kept

private:
    void discard();

    int m_fd = -1;
    QByteArray m_temporary;
    QString m_folder;   // empty: m_path was given
    QString m_path;
};

struct SnapshotInfo {
    QString path;
    QDateTime taken;   // UTC
    int port = 0;
    QString door;      // the door it was taken of; empty: none named
    SnapshotReason reason = SnapshotReason::Snapshot;
    int cards = -1;    // valid records; -1 when the file cannot be read
    bool foreign = false;   // not the person's own, or others may write it: a restore refuses it
};
struct SnapshotListing {
    FileFault fault = FileFault::None;   // the folder cannot be trusted or read (a missing one is empty)
    QList<SnapshotInfo> snapshots;       // newest first
};
// With a door: that door's own first, then the rest, each newest first.
SnapshotListing listSnapshots(const QString &doorFirst = {});
// The door a snapshot's file name says it was taken of; empty: none.
QString doorOfSnapshot(const QString &path);

// A snapshot file as it was kept: the person's own, nobody else may write it,
// and exactly a dump's length (else NotASnapshot).
FileFault loadSnapshot(const QString &path, QByteArray &dump);
