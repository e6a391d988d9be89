#include "transfer/readout.h"
#include "serial/commport.h"
#include "transfer/clock.h"

namespace {

// Waits until the whole dump is buffered, or the reader stalls, the line
// drops or the person stops it.
ReadoutResult::Outcome waitForDump(CommPort &port, Clock &clock, ProgressView &view)
{
    int lastCount = -1;
    const qint64 start = clock.now();
    qint64 lastProgressAt = start;
    for (;;) {
        const int count = port.bytesWaiting();
        if (port.lineLost())
            return ReadoutResult::LineLost;
        view.showProgress(count);
        if (count >= DumpLength)
            return ReadoutResult::Done;
        const qint64 now = clock.now();
        if (count != lastCount) {
            lastCount = count;
            lastProgressAt = now;
        } else if (now - lastProgressAt >= ReadoutStallMs) {
            return ReadoutResult::Stalled;
        }
        if (now - start >= ReadoutLimitMs)
            return ReadoutResult::Stalled;
        if (clock.stopRequested())
            return ReadoutResult::Interrupted;
        clock.sleep(ReadoutPollMs);
    }
}

} // namespace

ReadoutResult::Outcome readDump(WindowState &state, CommPort &port, Clock &clock, ProgressView &view,
                                QByteArray &dump)
{
    if (!port.isOpen())
        return ReadoutResult::NoPort;
    state.FrameBytes = readRequestBytes(state.ReaderAddress);
    state.RequestFrame = requestFrame(state.FrameBytes);
    port.clearReceiveBuffer();
    port.send(state.RequestFrame);
    view.setProgressMaximum(ReadoutProgressMaximum);

    const ReadoutResult::Outcome outcome = waitForDump(port, clock, view);
    if (outcome == ReadoutResult::Done) {
        dump = port.read(DumpLength);
        port.clearReceiveBuffer();
    }
    return outcome;
}

ReadoutResult runReadout(ReadoutFile &file, WindowState &state, CommPort &port, Clock &clock,
                         ProgressView &view)
{
    ReadoutResult result;
    result.newFile = file.isNew();
    if (!port.isOpen()) {
        result.outcome = ReadoutResult::NoPort;
        return result;
    }
    // What can be known about the file is known before the 21-second dump.
    result.fileFault = file.fault();
    if (result.fileFault != FileFault::None) {
        result.outcome = ReadoutResult::FileFailed;
        return result;
    }
    QByteArray dump;
    result.outcome = readDump(state, port, clock, view, dump);
    if (result.outcome != ReadoutResult::Done)
        return result;

    QList<CardCode> codes;
    for (const DumpRecord &record : validRecords(dump))
        codes.append(record.code);
    result.fileFault = file.append(codes);
    if (result.fileFault != FileFault::None) {
        result.outcome = ReadoutResult::FileFailed;
        return result;
    }
    result.records = int(codes.size());
    return result;
}
