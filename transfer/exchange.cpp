#include "transfer/exchange.h"
#include "serial/line.h"
#include "serial/frames.h"
#include "serial/linetrace.h"
#include "transfer/clock.h"
#include "transfer/dumpnote.h"
#include "transfer/readers.h"
#include "transfer/syncplan.h"

namespace {

// The person's stop, seen at a pause, and recorded in the trace where it happened.
bool stopAsked(Clock &clock)
{
    if (!clock.stopRequested())
        return false;
    LineTrace::decision(QStringLiteral("stop asked: the transfer ends here"));
    return true;
}

// Waits until the whole dump is buffered, or the reader stalls, the line
// drops or the person stops it.
DumpOutcome waitForDump(Conversation &c, qint64 &longestPause)
{
    int lastCount = -1;
    const qint64 start = c.clock.now();
    qint64 lastProgressAt = start;
    longestPause = 0;
    for (;;) {
        const int count = c.line.bytesWaiting();
        if (c.line.lineLost())
            return DumpOutcome::LineLost;
        c.view.showBytes(count);
        const qint64 now = c.clock.now();
        if (count >= DumpLength) {
            LineTrace::decision(QStringLiteral("dump whole after %1 ms").arg(now - start));
            return DumpOutcome::Done;
        }
        if (count != lastCount) {
            if (lastCount > 0)   // a look that found nothing new is a pause; a steady flow shows none
                longestPause = qMax(longestPause, now - lastProgressAt - ReadoutPollMs);
            lastCount = count;
            lastProgressAt = now;
        }
        if (now - lastProgressAt >= ReadoutStallMs || now - start >= ReadoutLimitMs) {
            LineTrace::decision(QStringLiteral("dump stalled: %1 bytes after %2 ms").arg(count).arg(now - start));
            return DumpOutcome::Stalled;
        }
        if (stopAsked(c.clock))
            return DumpOutcome::Interrupted;
        c.clock.sleep(ReadoutPollMs);
    }
}

// The rest of a dump an earlier program asked for and did not hear out,
// waited out and dropped: the reader sends it whether or not anybody listens.
DumpOutcome waitOutEarlierDump(Conversation &c, const DumpNote &note)
{
    const qint64 left = note.msLeft(c.clock.wallMs());
    if (left > 0)
        LineTrace::decision(QStringLiteral("an earlier dump was not heard out: its rest waited out, %1 ms").arg(left));
    const qint64 start = c.clock.now();
    while (c.clock.now() - start < left) {
        c.line.clearReceiveBuffer();
        if (c.line.lineLost())
            return DumpOutcome::LineLost;
        if (stopAsked(c.clock))
            return DumpOutcome::Interrupted;
        c.clock.sleep(ReadoutPollMs);
    }
    return DumpOutcome::Done;
}

// Blocks that hold neither a record nor the erased one: a dump cut and joined
// at the wrong byte is full of them.
int oddBlocks(QByteArrayView dump)
{
    int odd = 0;
    for (int block = 0; block < DumpExaminedBlocks; ++block) {
        const QByteArrayView bytes = dump.sliced(qsizetype(block) * DumpBlockLength + 1, 6);
        odd += !dumpBlock(dump, block) && bytes != QByteArrayView("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
    }
    return odd;
}

// A dump followed by fewer bytes than a block may have had as many stray bytes before it: the
// dump is then those bytes later. The alignment whose blocks are records or erased ones more
// often is the reader's: a dump taken a byte off is full of blocks that are neither. When the
// blocks do not tell and the two would hold other cards, neither is taken (empty).
QByteArray alignedByBlocks(const QByteArray &dump, const QByteArray &after)
{
    if (after.isEmpty() || after.size() >= DumpBlockLength)
        return dump;
    const QByteArray later = (dump + after).mid(after.size(), DumpLength);
    const int oddNow = oddBlocks(dump), oddLater = oddBlocks(later);
    if (oddLater > oddNow || (oddLater == oddNow && sameRecords(dump, later)))
        return dump;
    if (oddLater == oddNow) {
        LineTrace::decision(QStringLiteral("%1 bytes after the dump, and its blocks do not tell where it began").arg(after.size()));
        return {};
    }
    LineTrace::decision(QStringLiteral("%1 stray bytes before the dump: it is taken from its blocks").arg(after.size()));
    return later;
}

// One read request on a quiet line and the dump it brings; trailer tells
// whether anything came after it. A quiet moment counts only when it is
// longer than any pause the reader has made inside a dump on this line.
DumpOutcome requestDump(Conversation &c, DumpNote &note, LineHabits &habits, QByteArray &dump, bool &trailer,
                        bool again = false)
{
    if (const DumpOutcome rest = waitOutEarlierDump(c, note); rest != DumpOutcome::Done)
        return rest;
    // A dump read again was not trusted: any pause the reader could make without being taken for
    // stalled is waited out before asking, so that no part of an earlier dump comes first.
    const int quietMs = int(QuietMs + (again ? ReadoutStallMs : habits.longestPauseMs));
    if (const DumpOutcome quiet = waitForQuiet(c, quietMs); quiet != DumpOutcome::Done)
        return quiet;
    c.state.lastFrame = requestFrame(readRequestBytes(c.state.readerAddress));
    note.asked(c.clock.wallMs());   // before it goes out: a program killed from now on leaves the note behind
    if (!c.line.send(c.state.lastFrame))
        return DumpOutcome::LineLost;
    qint64 pause = 0;
    const DumpOutcome outcome = waitForDump(c, pause);
    if (outcome != DumpOutcome::Done)
        return outcome;
    note.heardOut();
    if (pause > habits.longestPauseMs) {
        LineTrace::decision(QStringLiteral("a pause of %1 ms inside the dump: the line is quiet only after longer").arg(pause));
        habits.longestPauseMs = qMin<qint64>(pause, ReadoutStallMs);
    }
    dump = c.line.read(DumpLength);
    trailer = c.line.bytesWaiting() > 0;
    if (!trailer) {
        c.clock.sleep(quietMs);
        trailer = c.line.bytesWaiting() > 0;
    }
    if (trailer) {
        LineTrace::decision(QStringLiteral("bytes after the dump: it is read again"));
        c.clock.sleep(QuietMs);   // all of what came after, before it is judged
        dump = alignedByBlocks(dump, c.line.read(DumpBlockLength));
    }
    c.line.clearReceiveBuffer();
    if (dump.isEmpty())
        return DumpOutcome::Unsteady;
    return c.line.lineLost() ? DumpOutcome::LineLost : DumpOutcome::Done;
}

// Polls until exactly one answer's worth of bytes waits; a later attempt only
// waits again, it never repeats the request.
RecordOutcome waitForWriteAnswer(Conversation &c, QByteArray &answer)
{
    c.state.answerPolls = 0;
    for (int attempt = 0; attempt < AttemptsPerRecord; ++attempt) {
        for (int poll = 0; poll < PollsPerAttempt; ++poll) {
            c.clock.sleep(AnswerPollMs);
            ++c.state.answerPolls;
            if (c.line.bytesWaiting() == WriteAnswerLength) {
                LineTrace::decision(QStringLiteral("answer after %1 polls").arg(c.state.answerPolls));
                answer = c.line.read(c.line.bytesWaiting());
                return RecordOutcome::Taken;
            }
            if (c.line.lineLost())
                return RecordOutcome::LineLost;
            if (stopAsked(c.clock))
                return RecordOutcome::Interrupted;
        }
    }
    LineTrace::decision(QStringLiteral("no answer of %1 bytes in %2 polls").arg(WriteAnswerLength).arg(AttemptsPerRecord * PollsPerAttempt));
    return RecordOutcome::Unanswered;
}

} // namespace

DumpOutcome waitForQuiet(Conversation &c, int quietMs)
{
    if (!c.line.isOpen())
        return c.line.lineLost() ? DumpOutcome::LineLost : DumpOutcome::NoPort;
    const qint64 start = c.clock.now();
    qint64 lastHeard = start;
    c.line.clearReceiveBuffer();
    for (;;) {
        const qint64 now = c.clock.now();
        if (c.line.bytesWaiting() > 0) {
            c.line.clearReceiveBuffer();
            lastHeard = now;
        }
        if (c.line.lineLost())
            return DumpOutcome::LineLost;
        if (now - lastHeard >= quietMs) {
            LineTrace::decision(QStringLiteral("line quiet for %1 ms, after %2 ms").arg(quietMs).arg(now - start));
            return DumpOutcome::Done;
        }
        if (now - start >= QuietLimitMs) {
            LineTrace::decision(QStringLiteral("line never quiet in %1 ms: nothing asked").arg(QuietLimitMs));
            return DumpOutcome::Noisy;
        }
        if (stopAsked(c.clock))
            return DumpOutcome::Interrupted;
        c.clock.sleep(QuietPollMs);
    }
}

DumpOutcome readDump(Conversation &c, QByteArray &dump, const QList<KnownReader> &known)
{
    if (!c.line.isOpen())
        return c.line.lineLost() ? DumpOutcome::LineLost : DumpOutcome::NoPort;
    DumpNote note(c.line.name());
    LineHabits habits = note.habits();
    QByteArray first;
    bool trailer = false;
    DumpOutcome outcome = requestDump(c, note, habits, first, trailer);
    if (outcome != DumpOutcome::Done)
        return outcome;
    const int odd = oddBlocks(first);
    if (trailer || (odd > habits.oddBlocks && !readerHolding(known, first))) {
        // Either the dump began before the request (the tail of an older
        // one), or this reader always sends more, or its memory is like
        // that: a second read tells which.
        if (!trailer)
            LineTrace::decision(QStringLiteral("%1 blocks neither a record nor erased: it is read again").arg(odd));
        QByteArray second;
        outcome = requestDump(c, note, habits, second, trailer, true);
        if (outcome != DumpOutcome::Done)
            return outcome;
        if (second != first) {
            LineTrace::decision(QStringLiteral("the second read differs: neither is taken"));
            note.keepHabits(habits);
            return DumpOutcome::Unsteady;
        }
        habits.oddBlocks = odd;
    }
    note.keepHabits(habits);
    dump = first;
    return DumpOutcome::Done;
}

RecordOutcome writeRecord(Conversation &c, const DumpRecord &record, bool *sent)
{
    const QByteArray frame =
        requestFrame(writeRequestBytes(c.state.readerAddress, record.code, record.openingTime, c.state.writeAddress));
    c.clock.sleep(PauseBeforeRequestMs);
    c.line.clearReceiveBuffer();
    c.state.lastFrame = frame;
    const bool wentOut = c.line.send(frame);
    if (sent)
        *sent = wentOut;
    c.state.writeAddress -= RecordSpacing;
    if (!wentOut)
        return RecordOutcome::LineLost;
    // An answer read is the reader's word, even if the line fails right after it.
    QByteArray answer;
    const RecordOutcome outcome = waitForWriteAnswer(c, answer);
    if (outcome != RecordOutcome::Taken)
        return outcome;
    return isWriteAccepted(answer) ? RecordOutcome::Taken : RecordOutcome::Refused;
}
