#include "transfer/exchange.h"
#include "serial/commport.h"
#include "transfer/clock.h"
#include "transfer/dumpnote.h"
#include "serial/linetrace.h"

namespace {

// Waits until the whole dump is buffered, or the reader stalls, the line
// drops or the person stops it.
DumpOutcome waitForDump(Conversation &c)
{
    int lastCount = -1;
    const qint64 start = c.clock.now();
    qint64 lastProgressAt = start;
    for (;;) {
        const int count = c.port.bytesWaiting();
        if (c.port.lineLost())
            return DumpOutcome::LineLost;
        c.view.showBytes(count);
        const qint64 now = c.clock.now();
        if (count >= DumpLength) {
            LineTrace::decision(QStringLiteral("dump whole after %1 ms").arg(now - start));
            return DumpOutcome::Done;
        }
        if (count != lastCount) {
            lastCount = count;
            lastProgressAt = now;
        }
        if (now - lastProgressAt >= ReadoutStallMs || now - start >= ReadoutLimitMs) {
            LineTrace::decision(QStringLiteral("dump stalled: %1 bytes after %2 ms").arg(count).arg(now - start));
            return DumpOutcome::Stalled;
        }
        if (c.clock.stopRequested())
            return DumpOutcome::Interrupted;
        c.clock.sleep(ReadoutPollMs);
    }
}

// The rest of a dump an earlier program asked for and did not hear out,
// waited out and dropped: the reader sends it whether or not anybody listens.
DumpOutcome waitOutEarlierDump(Conversation &c, const DumpNote &note)
{
    const qint64 left = note.msLeft();
    if (left > 0)
        LineTrace::decision(QStringLiteral("an earlier dump was not heard out: its rest waited out, %1 ms").arg(left));
    const qint64 start = c.clock.now();
    while (c.clock.now() - start < left) {
        c.port.clearReceiveBuffer();
        if (c.port.lineLost())
            return DumpOutcome::LineLost;
        if (c.clock.stopRequested())
            return DumpOutcome::Interrupted;
        c.clock.sleep(ReadoutPollMs);
    }
    return DumpOutcome::Done;
}

// One read request on a quiet line and the dump it brings; trailer tells
// whether anything came after it.
DumpOutcome requestDump(Conversation &c, QByteArray &dump, bool &trailer)
{
    DumpNote note(c.port.devicePath());
    if (const DumpOutcome rest = waitOutEarlierDump(c, note); rest != DumpOutcome::Done)
        return rest;
    if (const DumpOutcome quiet = waitForQuiet(c); quiet != DumpOutcome::Done)
        return quiet;
    c.state.lastFrame = requestFrame(readRequestBytes(c.state.readerAddress));
    note.asked();   // before it goes out: a program killed from now on leaves the note behind
    if (!c.port.send(c.state.lastFrame))
        return DumpOutcome::LineLost;
    const DumpOutcome outcome = waitForDump(c);
    if (outcome != DumpOutcome::Done)
        return outcome;
    note.heardOut();
    dump = c.port.read(DumpLength);
    trailer = c.port.bytesWaiting() > 0;
    if (!trailer) {
        c.clock.sleep(QuietMs);
        trailer = c.port.bytesWaiting() > 0;
    }
    if (trailer)
        LineTrace::decision(QStringLiteral("bytes after the dump: it is read again"));
    c.port.clearReceiveBuffer();
    return c.port.lineLost() ? DumpOutcome::LineLost : DumpOutcome::Done;
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
            if (c.port.bytesWaiting() == WriteAnswerLength) {
                LineTrace::decision(QStringLiteral("answer after %1 polls").arg(c.state.answerPolls));
                answer = c.port.read(c.port.bytesWaiting());
                return RecordOutcome::Taken;
            }
            if (c.port.lineLost())
                return RecordOutcome::LineLost;
            if (c.clock.stopRequested())
                return RecordOutcome::Interrupted;
        }
    }
    LineTrace::decision(QStringLiteral("no answer of %1 bytes in %2 polls").arg(WriteAnswerLength).arg(AttemptsPerRecord * PollsPerAttempt));
    return RecordOutcome::Unanswered;
}

} // namespace

DumpOutcome waitForQuiet(Conversation &c)
{
    if (!c.port.isOpen())
        return c.port.lineLost() ? DumpOutcome::LineLost : DumpOutcome::NoPort;
    const qint64 start = c.clock.now();
    qint64 lastHeard = start;
    c.port.clearReceiveBuffer();
    for (;;) {
        const qint64 now = c.clock.now();
        if (c.port.bytesWaiting() > 0) {
            c.port.clearReceiveBuffer();
            lastHeard = now;
        }
        if (c.port.lineLost())
            return DumpOutcome::LineLost;
        if (now - lastHeard >= QuietMs) {
            LineTrace::decision(QStringLiteral("line quiet for %1 ms, after %2 ms").arg(QuietMs).arg(now - start));
            return DumpOutcome::Done;
        }
        if (now - start >= QuietLimitMs) {
            LineTrace::decision(QStringLiteral("line never quiet in %1 ms: nothing asked").arg(QuietLimitMs));
            return DumpOutcome::Noisy;
        }
        if (c.clock.stopRequested())
            return DumpOutcome::Interrupted;
        c.clock.sleep(QuietPollMs);
    }
}

DumpOutcome readDump(Conversation &c, QByteArray &dump)
{
    if (!c.port.isOpen())
        return c.port.lineLost() ? DumpOutcome::LineLost : DumpOutcome::NoPort;
    QByteArray first;
    bool trailer = false;
    DumpOutcome outcome = requestDump(c, first, trailer);
    if (outcome != DumpOutcome::Done)
        return outcome;
    if (trailer) {
        // Either the dump began before the request (the tail of an older
        // one), or this reader always sends more: a second read tells which.
        QByteArray second;
        outcome = requestDump(c, second, trailer);
        if (outcome != DumpOutcome::Done)
            return outcome;
        if (second != first) {
            LineTrace::decision(QStringLiteral("the second read differs: neither is taken"));
            return DumpOutcome::Unsteady;
        }
    }
    dump = first;
    return DumpOutcome::Done;
}

RecordOutcome writeRecord(Conversation &c, const DumpRecord &record, bool *sent)
{
    const QByteArray frame =
        requestFrame(writeRequestBytes(c.state.readerAddress, record.code, record.openingTime, c.state.writeAddress));
    c.clock.sleep(PauseBeforeRequestMs);
    c.port.clearReceiveBuffer();
    c.state.lastFrame = frame;
    const bool wentOut = c.port.send(frame);
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
