// Every text of the card window, in one place; the outcomes it shares with
// the other front ends are in transfer/messages.h.
#pragma once

#include "transfer/messages.h"

#include <QString>

namespace Texts {

inline const QString CardsTitle = QStringLiteral("Vivadizuzud kártyák");
inline const QString ListFilter = QStringLiteral("Kódlista (*.csv)");

// Controls, as shown and as a screen reader names them.
inline const QString OpenAction = QStringLiteral("Megnyitás…");
inline const QString SaveAction = QStringLiteral("Mentés");
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
inline const QString TimeLabel = QStringLiteral("Nyitási idő:");
inline const QString TimeUnset = QStringLiteral("nincs megadva");
inline const QString NameColumn = QStringLiteral("Név");
inline const QString CodeColumn = QStringLiteral("Kód");
inline const QString StateColumn = QStringLiteral("Állapot");
inline const QString RestoreAction = QStringLiteral("Visszaállítás");
inline const QString SaveAsListAction = QStringLiteral("Mentés listaként…");
inline const QString CloseAction = QStringLiteral("Bezárás");
inline const QString CancelAction = QStringLiteral("Mégse");
inline const QString SnapshotsTable = QStringLiteral("Pillanatképek");
inline const QString NewCardName = QStringLiteral("Név:");
inline const QString NewCardCode = QStringLiteral("Kód:");
inline const QString NewCardCodeHint = QStringLiteral("tíz hexadecimális számjegy, előtte lehet BB");

// The state of a card after a check.
QString heldWith(int openingTime);
QString notHeld();
QString onlyInReader(int openingTime);
QString cardCount(int cards, int held, bool checked);
QString windowTitle(const QString &path, bool modified);

// Questions and what a step says.
QString saveBeforeSync();
QString saveBeforeClosing();
QString deleteQuestion(int cards);
QString setOpeningTimeFirst();
QString noPortChosen();
QString readOnlyList(const QString &path, const CodeList &list);
QString codeAlreadyListed(const QString &code, int row);
QString notACode();
QString listUnsaved(const QString &path, FileFault fault);
QString syncQuestion(const SyncPlan &plan);
QString restoreQuestion(const QString &path, const SyncPlan &plan);
QString stopAdviceInWindow(bool restore);
QString checkCutOffInWindow();
QString checkDone(int held, int missing, int extra);
QString phaseText(int phase, int done, int total);
QString savedAsList(int cards, const QString &path);
QString fileExists(const QString &path);
QString snapshotRow(const SnapshotInfo &info);

} // namespace Texts
