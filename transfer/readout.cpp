#include "transfer/readout.h"
#include "serial/commport.h"
#include "transfer/clock.h"

namespace {

// Waits until the whole dump is buffered; false when the reader stalls or the line drops.
bool waitForDump(CommPort &port, Clock &clock, ProgressView &view)
{
    int lastCount = -1;
    qint64 lastProgressAt = clock.now();
    for (;;) {
        const int count = port.bytesWaiting();
        if (port.lineLost())
            return false;
        view.showProgress(count);
        if (count >= DumpLength)
            return true;
        const qint64 now = clock.now();
        if (count != lastCount) {
            lastCount = count;
            lastProgressAt = now;
        } else if (now - lastProgressAt >= ReadoutStallMs) {
            return false;
        }
        clock.sleep(ReadoutPollMs);
    }
}

} // namespace

ReadoutResult runReadout(const QString &path, WindowState &state, CommPort &port, Clock &clock,
                         ProgressView &view)
{
    ReadoutResult result;
    if (!port.isOpen()) {
        result.outcome = ReadoutResult::NoPort;
        return result;
    }
    // What can be known about the file is known before the 21-second dump.
    result.fileFault = checkAppendTarget(path);
    if (result.fileFault != FileFault::None) {
        result.outcome = ReadoutResult::FileFailed;
        return result;
    }
    state.FrameBytes = readRequestBytes(state.ReaderAddress);
    state.RequestFrame = requestFrame(state.FrameBytes);
    port.clearReceiveBuffer();
    port.send(state.RequestFrame);
    view.setProgressMaximum(ReadoutProgressMaximum);

    if (!waitForDump(port, clock, view)) {
        result.outcome = port.lineLost() ? ReadoutResult::LineLost : ReadoutResult::Stalled;
        return result;
    }
    const QByteArray dump = port.read(DumpLength);
    port.clearReceiveBuffer();

    QList<CardCode> codes;
    for (const DumpRecord &record : validRecords(dump))
        codes.append(record.code);
    result.fileFault = appendReadout(path, codes);
    if (result.fileFault != FileFault::None) {
        result.outcome = ReadoutResult::FileFailed;
        return result;
    }
    result.records = int(codes.size());
    return result;
}
