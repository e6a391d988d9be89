// Every text of the card window, in one place; the outcomes it shares with
// the other front ends are in transfer/messages.h.
#pragma once

#include "transfer/messages.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Texts {

inline const QString CardsTitle = QStringLiteral("Vivadizuzud kártyák");
inline const QString ListFilter = QStringLiteral("Kódlista (*.csv)");

// Controls, as shown and as a screen reader names them.
inline const QString OpenAction = QStringLiteral("Megnyitás…");
inline const QString SaveAction = QStringLiteral("Mentés");
inline const QString SaveAsAction = QStringLiteral("Mentés másként…");
inline const QString NewCardAction = QStringLiteral("Új kártya…");
inline const QString DeleteAction = QStringLiteral("Törlés");
inline const QString UndoAction = QStringLiteral("Visszavonás");
inline const QString RedoAction = QStringLiteral("Újra");
inline const QString CheckAction = QStringLiteral("Összevetés");
inline const QString SyncAction = QStringLiteral("Szinkronizálás");
inline const QString SnapshotsAction = QStringLiteral("Pillanatképek…");
inline const QString AdoptAction = QStringLiteral("Felvétel a listára");
inline const QString TableName = QStringLiteral("Kártyák");
inline const QString CountName = QStringLiteral("Kártyák száma");
inline const QString SearchName = QStringLiteral("Keresés");
inline const QString SearchHint = QStringLiteral("Keresés név vagy kód szerint");
inline const QString PortLabel = QStringLiteral("Port:");
inline const QString DoorLabel = QStringLiteral("Ajtó:");
inline const QString TimeLabel = QStringLiteral("Nyitási idő:");
inline const QString TimeUnset = QStringLiteral("nincs megadva");
inline const QString NameColumn = QStringLiteral("Név");
inline const QString CodeColumn = QStringLiteral("Kód");
inline const QString LastDayColumn = QStringLiteral("Érvényes");
inline const QString StateColumn = QStringLiteral("Állapot");
inline const QString RestoreAction = QStringLiteral("Visszaállítás");
inline const QString SaveAsListAction = QStringLiteral("Mentés listaként…");
inline const QString CloseAction = QStringLiteral("Bezárás");
inline const QString CancelAction = QStringLiteral("Mégse");
inline const QString SnapshotsTable = QStringLiteral("Pillanatképek");
inline const QStringList SnapshotColumns = {QStringLiteral("Időpont"), QStringLiteral("Port"), QStringLiteral("Ajtó"),
                                            QStringLiteral("Kártyák"), QStringLiteral("Miért")};
inline const QString NewCardName = QStringLiteral("Név:");
inline const QString NewCardCode = QStringLiteral("Kód:");
inline const QString NewCardCodeHint = QStringLiteral("tíz hexadecimális számjegy, előtte lehet BB");
inline const QString NewCardLastDay = QStringLiteral("Utolsó nap:");
inline const QString NewCardLastDayHint = QStringLiteral("ÉÉÉÉ-HH-NN; üresen: nem jár le");
inline const QString SeeReaderByCheck = QStringLiteral("Az Összevetés gomb megmutatja, mit tart a kártyaolvasó.");
inline const QString WarningName = QStringLiteral("Figyelmeztetés a listáról");
// What the undo and redo entries name a change of last days by.
inline const QString LastDayStep = QStringLiteral("az utolsó nap módosítása");
// Answers to the questions about the file on disk.
inline const QString NewListHere = QStringLiteral("Új lista ezen a néven");
inline const QString OtherFile = QStringLiteral("Másik fájl…");
inline const QString ReloadAnswer = QStringLiteral("Újratöltés (a módosítások elvesznek)");
inline const QString OverwriteAnswer = QStringLiteral("Felülírás");
inline const QString SaveAgainAnswer = QStringLiteral("Mentés ezen a néven");
inline const QString TakeEditsAnswer = QStringLiteral("Visszaveszem");
inline const QString DropEditsAnswer = QStringLiteral("Eldobom");

// The state of a card after a check.
QString heldWith(int openingTime);
QString notHeld();
QString expiredHeld(int openingTime);   // past its last day, and the reader still opens for it
QString onlyInReader(int openingTime);
QString cardCount(int cards, int held, bool checked);
QString stateAsOf(const QDateTime &checked);
QString lastDayCell(const QDate &day, bool expired);
QString notADay();
// Under the table: cards that expired since the list's last sync (still in the
// reader until the next one), and cards that expire within the next days.
QString expiryNotes(const CodeList &list, const QDate &today, const QDateTime &lastSync);
// Which named doors hold the open list as it is saved: "Főbejárat: a lista szerint, 12-08 14:02; Hátsó kapu: régebbi lista".
QString doorsNote(const QList<Door> &doors, const QString &listPath, const QByteArray &listHash, const CodeList &list,
                  const QDate &today);
QString windowTitle(const QString &path, bool modified);

// Questions and what a step says.
QString saveBeforeSync();
QString saveBeforeClosing();
QString deleteQuestion(int cards);
QString setOpeningTimeFirst();
QString noPortChosen();
QString readOnlyList(const QString &path, const CodeList &list);
QString codeAlreadyListed(const CardCode &code, qint64 line, const QString &name);
QString notACode();
QString listUnsaved(const QString &path, FileFault fault, const QString &keptCopy = QString());
QString listMissing(const QString &path);
// A new name for a list that is a link: what it leads to, and that nothing is written through it.
QString listOnLink(const QString &path, const QString &target);
// A name chosen for a list that is another user's file.
QString othersFile(const QString &path, const QString &owner);
QString changedOnDisk(const QString &path, bool gone);
QString nameLeadsElsewhere(const QString &path);
QString reloadedBeforeSync(const QString &path);
QString unsavedEditsFound(const QString &path, const QDateTime &kept);
// What a sync would refuse in the list, said under the table when it opens; empty when nothing.
QString listWarning(const CodeList &list);
QString syncQuestion(const SyncPlan &plan, const CodeList &list);
// Cards of the open list past their last day that the snapshot puts back are marked.
QString restoreQuestion(const QDateTime &taken, const SyncPlan &plan, const CodeList &names, const QDate &today);
QString stopAdviceInWindow(bool restore);
QString phaseText(int phase, int done, int total);
QString savedAsList(int cards, const QString &path);
QString snapshotRow(const SnapshotInfo &info);

} // namespace Texts
