// Every text of the window, in one place; the outcome messages it shares with
// the command line are in transfer/messages.h.
#pragma once

#include "transfer/messages.h"

#include <QString>

namespace Texts {

inline const QString WindowTitle = QStringLiteral("Vivadizuzud");
inline const QString FileFilter = QStringLiteral("Szöveg (*.csv)");

inline const QString AlreadyRunning = QStringLiteral("A gépen már fut ez a program.");
inline const QString ExitQuestion = QStringLiteral("Ki akar lépni?");

// Captions and tooltips of the window.
inline const QString ExitCaption = QStringLiteral("Kilép");
inline const QString CodeMemoryTitle = QStringLiteral("Kártyakód memória");
inline const QString UploadCaption = QStringLiteral("Rátöltés az SD kártyáról");
inline const QString ReadoutCaption = QStringLiteral("Kiolvasás az SD kártyára");
inline const QString OpeningTimeCaption = QStringLiteral("Nyitási idő:");
inline const QString FileCaption = QStringLiteral("Az SD kártya itt van:");
inline const QString PortCaption = QStringLiteral("Comm");
inline const QString Text4Tip = QStringLiteral(
    "Ide kattintva kettőt, kiválaszthatja az adatainak gyüjtésére szolgáló könyvtárat, "
    "de hozhat létre új könyvtárat is.");
inline const QString Command1Tip = QStringLiteral("Egy ház adatainak áttöltése egy kártya leolvasóba.");
inline const QString Command6Tip = QStringLiteral("Kártya leolvasó adatainak PC-re mentése.");
// What a screen reader calls the two progress displays.
inline const QString ProgressFigureName = QStringLiteral("Átvitel állása");
inline const QString ProgressBarName = QStringLiteral("Átvitel folyamatjelzője");

QString noPortOpen();
// The lost line, with what to do about it in the window.
QString lineLostInWindow(int portNumber);

} // namespace Texts
