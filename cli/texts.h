// Every sentence of the command line, each once; the outcomes it shares with
// the window are in transfer/messages.h.
#pragma once

#include "transfer/readers.h"

#include "serial/portprobe.h"
#include "transfer/messages.h"
#include "transfer/snapshots.h"
#include "transfer/syncplan.h"

#include <QString>

namespace Texts {

extern const char *const Usage;

// Usage errors.
QString usageHint(const QString &what);
QString missingCommand();
QString unknownCommand(const QString &name);
QString optionOfAnotherCommand(const QString &command, const QString &option);
QString optionTakesNoValue(const QString &option);
QString optionNeedsValue(const QString &option);
QString badPortNumber();
QString badOpeningTime();
QString badDays();
// One card of "expiring": its last day, whether it is past, its code and name.
QString expiringLine(const ListedCard &card, bool expired);
QString noneExpiring(int days);
QString commandNeedsTime(const QString &command);
QString commandTakesNoFile(const QString &command);
QString commandTakesOneFile(const QString &command);
QString nameNotUtf8(const QString &file);

// Ports.
QString portStateWord(const PortProbe &probe);   // szabad, foglalt: ..., ...
// Rows of number, device, state and description, under a header, each column as wide as its widest cell.
QString portTable(const QList<QStringList> &rows);
QString whyNoPortIsFree();
QString permissionTip();

// Lists and what the reader holds.

// Readout and upload.

// Snapshots.
QString snapshotKept(SnapshotReason reason, const QString &path);
// The door column as wide as the longest door's name (0: no door named).
QString snapshotsHeader(int doorWidth);
QString snapshotsRow(const SnapshotInfo &info, int doorWidth);
QString noSnapshotsYet(const QString &folder);
QString noSnapshotTaken();
QString snapshotFolderUnreadable(const QString &folder, FileFault fault);
QString foreignSnapshotsMarked();

// Sync and restore.
QString question(const SyncPlan &plan);
QString needsConfirmation(const QString &command);
QString stopAdvice(const QString &repeat, const QString &before);
QString repeatCommand(const QString &repeat);
// How to see what the reader holds after a read-back cut off: check, a command that writes nothing.
QString checkAgain(const QString &check);
// How to say that the reader on the line is the named door's now.
QString newReaderAdvice();
// The reader on the line is another door's than --door named.
QString otherDoorAdvice(const QString &chosen);
// The program's command as a POSIX shell reads it back: every argument that is not plainly safe
// quoted, so that a door's or a file's name pasted into a terminal is one word and runs nothing.
QString commandLine(const QStringList &arguments);

// Progress, without a terminal: one line a phase.
QString phaseWord(int phase);
// The terminal's progress line: "olvasás: 7000/20490 bájt", and " 34%  hátra: 0:14".
QString progressCount(int phase, int done, int total, bool bytes);
QString progressLeft(int percent, const QString &timeLeft);
QString phaseLine(int phase, int records);

// Doors: a reader the person named.
QString noDoorsYet();
// "Főbejárat  33-as port  2026-12-08 14:02  a lista szerint  /home/…/lista.csv"; listHash: its list's
// bytes now (empty: gone).
QString doorRow(const Door &door, const DoorStanding &standing);

} // namespace Texts
