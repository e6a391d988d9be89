// A trace of the line, for a fault report: one line per frame that went out
// or came in (a dump as its length, a hash and its first and last 32 bytes),
// and each wait and quiet-line decision, with the milliseconds since the trace
// began. Nothing but the frames and the decisions goes into it. Off unless a
// front end turns it on (vivadizuzud-cli --trace FILE, VIVADIZUZUD_TRACE=FILE).
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace LineTrace {

// Writes the trace to path from now on: a new file of mode 0600, or appended
// to a trace of ours (its first line is a trace's header) that is a regular
// file of the person's own with no other name; never over any other file,
// never through a link. Each run begins with a header line: the version, the
// time and what was run (command: the command line, or the window), and that
// the trace holds card codes. 0, or the errno of why not (EEXIST: a file that
// is no trace of ours).
int start(const QString &path, const QString &command);
// A window's trace: one file per operation, named from path ("nyomkovetes.txt": "nyomkovetes-1.txt",
// "nyomkovetes-2.txt" ...), so that a trace sent with a report holds the operation that went wrong
// and no other card codes. The first is made now (0, or the errno as start gives it).
int startPerOperation(const QString &path, const QString &program);
// A window's operation begins: its own trace file, when the window traces.
void beginOperation(const QString &what);
// --trace FILE or --trace=FILE taken out of a program's arguments (before "--"): the file, null
// when none was asked for; false when --trace came last, without its file.
bool takeOption(QStringList &args, QString &path);
void sent(QByteArrayView bytes);
void received(QByteArrayView bytes);
void dropped(QByteArrayView bytes);   // came in and was thrown away unread
void decision(const QString &what);

} // namespace LineTrace
