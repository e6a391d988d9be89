// What the windows' shared room says itself: the rest is each window's own,
// or the outcomes all front ends share (transfer/messages.h).
#pragma once

#include <QString>

namespace Texts {

// Stands in a long report for the lines of a card list shown only in its details.
inline QString moreInDetails(int lines)
{
    return QStringLiteral("  … és még %1 (a részletek között)").arg(lines);
}

// A window started where there is no display to open it on.
inline const char *const NoDisplay = "nincs grafikus kijelző, az ablak nem nyitható meg "
                                     "(grafikus munkamenetből indítsa, vagy parancssorból: vivadizuzud-cli).";

} // namespace Texts
