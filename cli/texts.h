// Every sentence of the command line, each once; the outcomes it shares with
// the window are in transfer/messages.h.
#pragma once

#include "serial/modwinapi.h"
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
QString unknownOption(const QString &option);
QString optionOfAnotherCommand(const QString &command, const QString &option);
QString optionTakesNoValue(const QString &option);
QString optionNeedsValue(const QString &option);
QString badPortNumber();
QString badOpeningTime();
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
QString heldBy(const QString &holders);

// Lists and what the reader holds.
QString nothingWasWritten();
QString noCards(const QString &path);
QString suspiciousLines(const QString &path, const NamedLines &lines);
QString listProblem(const QString &path, const CodeList &list, ListProblem problem, ListUse use);
QString cardLine(const CardCode &code, const QString &name);   // "  0123456789  Kovács Béla"
QString differences(const Comparison &comparison, const CodeList *list);
QString identical(int codes);

// Readout and upload.
QString readoutDone(int records, const QString &path);
QString uploadDone(int written);
QString accepted(int written, bool lastUncertain);
QString recordFailed(bool refused, const DumpRecord &record, qint64 line, const QString &name);
QString stopped();

// Snapshots.
QString reasonWord(SnapshotReason reason);
QString snapshotKept(SnapshotReason reason, const QString &path);
QString snapshotNotKept(const QString &where, FileFault fault);
QString snapshotUnusable(const QString &path, FileFault fault);
QString snapshotUnfit(const QString &path, ListProblem problem);   // no card, or too many
QString snapshotsHeader();
QString snapshotsRow(const SnapshotInfo &info);
QString noSnapshotsYet(const QString &folder);
QString noSnapshotTaken();
QString snapshotFolderUnreadable(const QString &folder, FileFault fault);
QString foreignSnapshotsMarked();

// Sync and restore.
QString planText(const SyncPlan &plan, int repeated, const CodeList *list, bool restore);
QString layoutNote(const SyncPlan &plan);
QString question(const SyncPlan &plan);
QString needsConfirmation(const QString &command);
QString replanned(const SyncPlan &plan, bool learned);
QString dryRunDone();
QString syncDone(int cards, bool restore);
QString nothingToChange(bool restore);
QString notApproved();
QString copiesKept(int copies);
QString afterSnapshotLost(FileFault fault);
QString stillDiffers(bool restore, const QString &before, const QString &after, int unreachable);
QString stopAdvice(const QString &repeat, const QString &before);
QString stopReportText(const StopReport &report, const CodeList *list, bool lastUncertain);
QString checkCutOff(const QString &repeat);
QString eraseRefused(bool restore, int cards);
QString howFar(int cardsWritten, int slotsErased, bool lastUncertain);

// Progress, without a terminal: one line a phase.
QString phaseWord(int phase);
QString phaseLine(int phase, int records);

} // namespace Texts
