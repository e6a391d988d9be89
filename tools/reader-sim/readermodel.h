// The reader as the simulator plays it: its memory (Reader), the faults it is
// told to show, and for each request the answer as it goes down the line, in
// pieces and pauses. The simulator process sends that on a pseudo-terminal in
// real time; the in-process line delivers it on a test's clock.
#pragma once

#include "tools/reader-sim/reader.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class QCommandLineParser;

// The reader's own time on a write before it answers.
constexpr int WriteProcessingMs = 5;

struct ReaderFaults {
    int refuseWrite = 0, silentWrite = 0, longAnswer = 0, strayWrite = 0, hangupAfterWrite = 0;   // the Nth write
    int stopDump = -1, hangupDump = -1;   // after K bytes of a dump
    int dumpExtra = 0;                    // bytes after a whole dump
    int strayDump = 0;                    // bytes before every dump
    int piecesGapMs = 0;                  // write answers in pieces of 4 bytes, this far apart
    int dribbleMs = 0;                    // a dump a byte at a time, this far apart
    int pauseAfter = -1, pauseMs = 0;     // a pause in the middle of every dump
};

// One answer as the reader sends it.
struct Reply {
    struct Piece {
        int gapMs = 0;   // silence before it
        QByteArray bytes;   // then these, at the line's pace
    };
    int thinkMs = 0;         // the reader's own time before the first piece
    QList<Piece> pieces;     // none: it says nothing
    bool hangUp = false;     // the line hangs up once the last piece is out
};

class ReaderModel
{
public:
    Reader reader;
    ReaderFaults faults;

    Reply answer(QByteArrayView request);
    int writes() const { return m_writes; }

private:
    Reply dumpReply(const QByteArray &dump) const;
    Reply writeReply(QByteArrayView request);

    int m_writes = 0;
};

// The options that shape the reader (its faults, layout, memory), for the
// simulator's command line and for tests that build a reader the same way.
void addReaderOptions(QCommandLineParser &parser);
// Sets the model up from parsed options; an empty text when all was well, else what is wrong.
QString applyReaderOptions(const QCommandLineParser &parser, ReaderModel &model);
