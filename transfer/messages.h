// What the user reads about ports, files and transfers, shared by the window
// and the command line: the same outcome gets the same words in both.
#pragma once

#include "serial/commport.h"
#include "transfer/codelist.h"
#include "transfer/exchange.h"
#include "transfer/readout.h"
#include "transfer/readers.h"
#include "transfer/snapshots.h"
#include "transfer/sync.h"
#include "transfer/syncplan.h"
#include "transfer/upload.h"
#include "transfer/verify.h"

#include <QString>

namespace Texts {

// The text with its first letter in upper case, for a word that begins a sentence.
QString capitalized(const QString &text);
// An ordinal after its article, as it is read out: "az 1.", "a 2.", "az 5.", "a 10.", "az 1000.".
QString theNth(qint64 number);
// A card code after its article, read out sign by sign: "a 0123456789", "az 5A00000001", "az E000000001".
QString theCode(const CardCode &code);

inline const QString NoFreePort = QStringLiteral("A gépen nincs szabad port!");
inline const QString SetOpeningTime =
    QStringLiteral("Állítsa be a nyitási időt és nyomja meg a rátöltés gombot!");
inline const QString UploadDone = QStringLiteral("A rátöltés az SD kártyáról kész.");
inline const QString WriteFailed = QStringLiteral("A beírás nem sikerült!");
inline const QString ReadoutDone =
    QStringLiteral("A kódmemória kiolvasása és az SD kártyára átírás kész.");
inline const QString TransferError =
    QStringLiteral("Hiba az átvitelben. Ismételje meg a kódmemória kiolvasását!");
inline const QString CheckCable = QStringLiteral("Ellenőrizze a kábelt!");

// The number's name for the user, as the port list shows the number: "33-as port".
QString portDisplayName(int portNumber);
// The same after its article, "a 33-as port" or "az 1-es port"; capital: "A", "Az".
QString thePort(int portNumber, bool capital = false);
// What is wrong with the port map, for the person to hear once; empty when nothing.
QString portMapProblem();
// No free port, and why each port that is there is not: held by which program, or no permission.
QString noFreePort();
// What is wrong with the settings store, for the person to hear once; empty when nothing.
QString settingsProblem();   // with the dump notes' folder, when it is not the runtime folder
QString settingsTrustProblem();
// Why the trace of the line cannot be written to path (error: errno).
QString traceUnwritable(const QString &path, int error);
// The programs that hold a port: "1234 vivadizuzud-cli, 99 minicom".
QString holders(const QList<PortHolder> &holders);
QString heldBy(const QList<PortHolder> &holders);   // "Használja: 4242 minicom"
// How a user gets the right to open serial ports, as the end of a sentence.
QString dialoutAdvice();
QString portOpenFailed(int portNumber, const QString &device, CommPort::OpenFault fault);
// The line to the reader is gone; advice says what to do about it.
QString lineLost(int portNumber, const QString &advice = CheckCable);
// A transfer's outcome, followed by the word about the line it lost.
QString withLostLine(const QString &outcome, const QString &lostLine);
// distinct: each code counted once, as a sync or a verify counts them.
QString tooManyCards(int capacity, bool distinct = false);
// A dump that did not come whole and right (Stalled, Noisy, Unsteady): the transfer error, and why.
// again: what to do instead of repeating the readout, for a transfer that is none.
QString dumpFailed(DumpOutcome outcome, const QString &again = QString());
// A line that never went quiet: nothing was sent.
QString noisyLine();
// What went into the reader before a list was refused: nothing, or its first records.
QString sentSoFar(int written);
// The card lines of a list that say no code: their numbers and the first one.
QString malformedCardLines(const QString &path, const CodeList &list);
// Lines that look like cards without starting with "1": their numbers and the first one.
QString suspiciousLines(const QString &path, const CodeList &list);
// What an upload passed over that looks like cards; empty when nothing.
QString passedOverCards(const CodeList &list);
// What an upload that sent the whole list adds: the lines it passed over, and
// the cards past their last day it sent all the same (every card line goes).
QString uploadNotes(const CodeList &list, const QDate &today);
// Why a file could not be used, as the end of a sentence.
QString fileFaultReason(FileFault fault);
QString codeListUnreadable(const QString &path, FileFault fault);
// newFile: the file was to be made by the readout, and is not there.
QString codeListUnwritable(const QString &path, FileFault fault, bool newFile = false);
// How a file stands after a readout that did not finish.
QString fileLeftAlone(bool newFile);

// What the reader holds, a sync and its outcome, with the names a list gives the codes.
QString nothingWasWritten();
QString noCards(const QString &path);
QString unknownOption(const QString &option);
QString noOpeningTime();
QString listProblem(const QString &path, const CodeList &list, ListProblem problem, ListUse use);
QString cardLine(const CardCode &code, const QString &name);   // "  0123456789  Kovács Béla"
QString differences(const Comparison &comparison, const CodeList *list);
// A check of the reader against a list (verify, Összevetés): in the window a summary by counts,
// on the command line "Egyezik" or the differences card by card. Both name the list's cards past
// their last day that the reader still holds.
QString checkResult(const VerifyResult &result, const CodeList &list, bool summary);
// The list's cards past their last day that the reader still holds; empty when none.
QString expiredStillHeld(const QList<DumpRecord> &records, const CodeList &list);
QString accepted(int written, bool lastUncertain);
QString recordFailed(bool refused, const DumpRecord &record, qint64 line, const QString &name);
QString reasonWord(SnapshotReason reason);
QString snapshotUnusable(const QString &path, FileFault fault);
QString snapshotNotKept(const QString &where, FileFault fault);
QString snapshotUnfit(const QString &path, ListProblem problem);   // no card, or too many
QString planText(const SyncPlan &plan, int repeated, const CodeList *list, bool restore);
// How many records a plan writes and how long it takes: "(300 rekord, kb. 0,8 perc)".
QString workEstimate(const SyncPlan &plan);
QString layoutNote(const SyncPlan &plan);
// That a stop on the way could leave cards out, where no free slot lets them wait; empty when none could.
QString outForAWhile(const SyncPlan &plan);
QString replanned(const SyncPlan &plan, bool learned);
QString syncDone(int cards, bool restore);
QString nothingToChange(bool restore);
QString copiesKept(int copies);
QString afterSnapshotLost(FileFault fault);
QString stillDiffers(bool restore, const QString &before, const QString &after, int unreachable);
QString stopReportText(const StopReport &report, const CodeList *list);
QString eraseRefused(bool restore, int cards);
QString howFar(int cardsWritten, int slotsErased, bool lastUncertain);
// What a sync stopped on its way left in the reader, by name, and then the advice: nothing written,
// or how far it got and which cards may be missing, not yet in, or still there.
QString whatSyncLeft(const SyncResult &result, const CodeList *list, const QString &advice);
// That the read-back could not be kept as a snapshot; empty when it was, or was never read.
QString afterSnapshotNote(const SyncResult &result);
QString stopped();
QString dryRunDone();
// A read of the whole memory that failed: a lost line names its port. again: what to do instead of
// repeating the readout.
QString readFailed(DumpOutcome outcome, int portNumber, const QString &again = QString());

// What a front end puts into the words of a sync's outcome: its own file name, port, and the way
// it offers to go on. The sentences themselves are the same everywhere.
struct SyncWording {
    bool restore = false;  // a snapshot was put back, not a list
    QString file;          // the list or the snapshot as the person named it; empty: not named
    int portNumber = 0;
    QString retry;         // what to do after a failed read: the command again, or the button
    QString finish;        // what finishes a stopped sync or restore
    QString seeReader;     // how to see what the reader holds when the read-back was cut off
    bool listLines = true; // name the list's line of a refused card
    QString door;          // the door chosen, if any
    QString newReader;     // how to say that the reader on the line is the door's now
    QString otherDoorAdvice;   // what to do when the reader is another door's; empty: choose that door
};

// What a front end puts into the words of an upload's or a readout's outcome. The main window says
// what its original said; the command line adds what the reader took and which record failed.
struct TransferWording {
    QString file;           // the list as the person named it
    QString lostLine;       // how this front end says the line was lost
    QString noPort;         // and that no port is open
    QString noOpeningTime;  // and that the opening time is to be set
    bool counts = false;    // the command line: what the reader took, the record that failed, the file's name
};
// Empty: nothing to say (a stop the window makes as it ends).
QString uploadOutcome(const UploadResult &result, const CodeList &list, const QDate &today, const TransferWording &wording);
QString readoutOutcome(const ReadoutResult &result, const TransferWording &wording);

struct SyncOutcomeText {
    QString said;          // the outcome
    QString details;       // card by card, what differs (the command line's standard output)
};

// The reader on the line is another door's than the one chosen: said, and asked in a window.
// advice: what the front end offers instead (empty: choose that door).
QString otherDoor(const QString &recognised, const QString &chosen, const QString &advice = {});
// The named door's reader is not the one we left it: said, and asked in a window.
QString changedReader(const QString &door);
QString isDoorsReaderQuestion(const QString &door);
QString goOnAsDoorQuestion(const QString &recognised, const QString &chosen);
QString badDoorName();
// How a door stands with the list at listPath, whose bytes hash to listHash now (empty: the file is
// gone): "a lista szerint", "régebbi lista", "másik lista", "nem listát tart"...
QString doorState(const DoorStanding &standing);
// A sync's or a restore's outcome in words; list: the names of the codes (none for a restore).
SyncOutcomeText syncOutcome(const SyncResult &result, const CodeList *list, const SyncWording &wording);

} // namespace Texts
