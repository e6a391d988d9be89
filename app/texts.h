// Every text the user reads, in one place.
#pragma once

#include "serial/commport.h"
#include "transfer/codelist.h"

#include <QString>

namespace Texts {

inline const QString WindowTitle = QStringLiteral("Vivadizuzud");
inline const QString FileFilter = QStringLiteral("Szöveg (*.csv)");

inline const QString AlreadyRunning = QStringLiteral("A gépen már fut ez a program.");
inline const QString NoFreePort = QStringLiteral("A gépen nincs szabad port!");
inline const QString ExitQuestion = QStringLiteral("Ki akar lépni?");
inline const QString SetOpeningTime =
    QStringLiteral("Állítsa be a nyitási időt és nyomja meg a rátöltés gombot!");
inline const QString UploadDone = QStringLiteral("A rátöltés az SD kártyáról kész.");
inline const QString WriteFailed = QStringLiteral("A beírás nem sikerült!");
inline const QString ReadoutDone =
    QStringLiteral("A kódmemória kiolvasása és az SD kártyára átírás kész.");
inline const QString TransferError =
    QStringLiteral("Hiba az átvitelben. Ismételje meg a kódmemória kiolvasását!");

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

QString noFreePort(bool devicesWithoutPermission);
QString portOpenFailed(int portNumber, const QString &device, CommPort::OpenFault fault);
QString noPortOpen();
QString lineLost(int portNumber);
// A transfer's outcome, followed by the word about the line it lost.
QString withLostLine(const QString &outcome, int portNumber);
QString tooManyCards(int cardLines, int capacity);
QString codeListUnreadable(const QString &path, FileFault fault);
QString codeListUnwritable(const QString &path, FileFault fault);

} // namespace Texts
