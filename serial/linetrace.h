// A trace of the line, for a fault report: one line per frame that went out
// or came in (a dump as its length, a hash and its first and last 32 bytes),
// and each wait and quiet-line decision, with the milliseconds since the trace
// began. Nothing but the frames and the decisions goes into it. Off unless a
// front end turns it on (vivadizuzud-cli --trace FILE, VIVADIZUZUD_TRACE=FILE).
#pragma once

#include <QByteArrayView>
#include <QString>

namespace LineTrace {

// Writes the trace to path from now on: a new file of mode 0600, or an
// existing regular file of the person's own, emptied; never through a link.
// 0, or the errno of why not.
int start(const QString &path);
void sent(QByteArrayView bytes);
void received(QByteArrayView bytes);
void dropped(QByteArrayView bytes);   // came in and was thrown away unread
void decision(const QString &what);

} // namespace LineTrace
