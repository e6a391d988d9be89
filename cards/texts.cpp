#include "cards/texts.h"
#include "transfer/conversation.h"

#include <QFileInfo>

namespace Texts {

QString heldWith(int openingTime)
{
    return QStringLiteral("benne van (%1)").arg(openingTime);
}

QString notHeld()
{
    return QStringLiteral("nincs benne");
}

QString onlyInReader(int openingTime)
{
    return QStringLiteral("csak a kártyaolvasóban (%1)").arg(openingTime);
}

QString cardCount(int cards, int held, bool checked)
{
    const QString count = QStringLiteral("%1 kártya a listán").arg(cards);
    return checked ? count + QStringLiteral(", ebből %1 a kártyaolvasóban").arg(held) : count;
}

QString windowTitle(const QString &path, bool modified)
{
    const QString name = path.isEmpty() ? QStringLiteral("új lista") : QFileInfo(path).fileName();
    return QStringLiteral("%1%2 – %3").arg(name, modified ? QStringLiteral(" *") : QString(), CardsTitle);
}

QString saveBeforeSync()
{
    return QStringLiteral("A lista módosult. A kártyaolvasó azt kapja, ami a fájlban van: mentsem előbb a módosításokat?");
}

QString saveBeforeClosing()
{
    return QStringLiteral("A lista módosult. Menti a módosításokat?");
}

QString deleteQuestion(int cards)
{
    return QStringLiteral("Törli a kijelölt %1 kártyát a listáról? (A kártyaolvasóból a következő szinkronizálás "
                          "veszi ki.)")
        .arg(cards);
}

QString setOpeningTimeFirst()
{
    return QStringLiteral("Állítsa be a nyitási időt (1–127), majd nyomja meg újra a gombot!");
}

QString noPortChosen()
{
    return QStringLiteral("Nincs kiválasztott port. Dugja be a kábelt, és válassza ki a kártyaolvasó portját!");
}

QString readOnlyList(const QString &path, const CodeList &list)
{
    return malformedCardLines(path, list)
        + QStringLiteral("\nA listát csak megnézni lehet: javítsa ki ezeket a sorokat egy szövegszerkesztőben.");
}

QString codeAlreadyListed(const QString &code, int row)
{
    return QStringLiteral("A %1 kód már a listán van, a %2. sorban.").arg(code).arg(row);
}

QString notACode()
{
    return QStringLiteral("A kód tíz hexadecimális számjegy (0–9, A–F), előtte lehet BB, például: BB0123456789.");
}

QString listUnsaved(const QString &path, FileFault fault)
{
    return QStringLiteral("A lista nem menthető (%1): %2.").arg(path, fileFaultReason(fault));
}

QString syncQuestion(const SyncPlan &plan)
{
    return QStringLiteral("Beírjam a változásokat a kártyaolvasóba? %1").arg(workEstimate(plan));
}

QString restoreQuestion(const QString &path, const SyncPlan &plan)
{
    return QStringLiteral("Visszaállítsam a kártyaolvasót erre a pillanatképre? %1\n%2").arg(workEstimate(plan), path);
}

QString stopAdviceInWindow(bool restore)
{
    return restore ? QStringLiteral("A visszaállítás újra elindítva befejezi a munkát.")
                   : QStringLiteral("A Szinkronizálás gomb újra megnyomva befejezi a munkát; a változtatás előtti "
                                    "állapot a Pillanatképek között van.");
}

QString checkCutOffInWindow()
{
    return QStringLiteral("Megszakítva az ellenőrző kiolvasás közben: minden rekordot beírtam, csak az ellenőrzés "
                          "maradt el. Az Összevetés gomb megmutatja, mit tart a kártyaolvasó.");
}

QString checkDone(int held, int missing, int extra)
{
    if (missing == 0 && extra == 0)
        return QStringLiteral("A kártyaolvasó pontosan a lista %1 kártyáját tartalmazza.").arg(held);
    return QStringLiteral("A kártyaolvasóban a lista %1 kártyája van; %2 hiányzik belőle, és %3 olyan kártyát tart, "
                          "amely nincs a listán.")
        .arg(held)
        .arg(missing)
        .arg(extra);
}

QString phaseText(int phase, int done, int total)
{
    switch (ProgressView::Phase(phase)) {
    case ProgressView::Phase::Reading:
        return QStringLiteral("A kártyaolvasó memóriájának olvasása (kb. 21 másodperc)…");
    case ProgressView::Phase::Writing: return QStringLiteral("Írás: %1 / %2 rekord").arg(done).arg(total);
    case ProgressView::Phase::Erasing: return QStringLiteral("Törlés: %1 / %2 rekord").arg(done).arg(total);
    case ProgressView::Phase::Checking: break;
    }
    return QStringLiteral("Ellenőrzés: a memória újraolvasása (kb. 21 másodperc)…");
}

QString savedAsList(int cards, const QString &path)
{
    return QStringLiteral("A pillanatkép %1 kártyáját új kódlistaként mentettem: %2").arg(cards).arg(path);
}

QString fileExists(const QString &path)
{
    return QStringLiteral("Már van ilyen nevű fájl (%1): válasszon új nevet.").arg(path);
}

QString snapshotRow(const SnapshotInfo &info)
{
    return info.foreign ? QStringLiteral("idegen – nem használható") : reasonWord(info.reason);
}

} // namespace Texts
