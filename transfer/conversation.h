// A conversation with the reader: the line, the clock, the request being built
// and the write cursor, and where progress goes. Every transfer takes one; the
// front end that starts it says how time passes and how progress looks.
#pragma once

#include "serial/frames.h"

#include <QByteArray>

class Clock;
class Line;

// What the engine keeps from one request to the next.
struct RequestState {
    qint16 readerAddress = 1;   // the reader's address on the line
    qint16 writeAddress = 0;    // where the next record goes
    QByteArray lastFrame;       // the request sent last
    int answerPolls = 0;        // polls the last answer took, over all its attempts
};

// What a transfer shows on its way.
class ProgressView
{
public:
    // A sync reads, writes, erases and reads again; an upload only writes, a readout only reads.
    enum class Phase { Reading, Writing, Erasing, Checking };

    static constexpr bool readsDump(Phase phase) { return phase == Phase::Reading || phase == Phase::Checking; }

    virtual ~ProgressView() = default;
    // What the whole command still has ahead, so the time left can count all of it.
    virtual void expectWork(int /*dumps*/, int /*records*/) {}
    // A phase begins: a dump (Reading, Checking), or total records (Writing, Erasing).
    virtual void beginPhase(Phase phase, int totalRecords = 0) = 0;
    // Bytes of the dump received so far.
    virtual void showBytes(int received) = 0;
    // Records of the phase sent so far, and the address the next one goes to.
    virtual void showRecords(int done, qint16 nextAddress) = 0;
};

struct Conversation {
    Line &line;
    Clock &clock;
    ProgressView &view;
    RequestState &state;
};
