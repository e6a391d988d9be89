#include "transfer/upload.h"
#include "serial/commport.h"
#include "transfer/clock.h"

namespace {

// Polls until exactly one answer's worth of bytes waits; a later attempt only
// waits again, it never repeats the request.
QByteArray waitForWriteAnswer(WindowState &state, CommPort &port, Clock &clock)
{
    for (int attempt = 0; attempt < AttemptsPerRecord; ++attempt) {
        state.PollCount = 0;
        while (state.PollCount < PollsPerAttempt) {
            clock.sleep(AnswerPollMs);
            ++state.PollCount;
            if (port.bytesWaiting() == WriteAnswerLength)
                return port.read(port.bytesWaiting());
            if (port.lineLost() || clock.stopRequested())
                return {};
        }
    }
    return {};
}

} // namespace

RecordOutcome writeRecord(const DumpRecord &record, WindowState &state, CommPort &port, Clock &clock)
{
    state.FrameBytes = writeRequestBytes(state.ReaderAddress, record.code, record.openingTime, state.WriteAddress);
    state.RequestFrame = requestFrame(state.FrameBytes);
    clock.sleep(PauseBeforeRequestMs);
    port.clearReceiveBuffer();
    const bool sent = port.send(state.RequestFrame);
    state.WriteAddress -= RecordSpacing;
    const QByteArray answer = sent ? waitForWriteAnswer(state, port, clock) : QByteArray();
    if (port.lineLost())
        return RecordOutcome::LineLost;
    return isWriteAccepted(answer) ? RecordOutcome::Taken : RecordOutcome::NotTaken;
}

UploadResult runUpload(const QString &path, int openingTime, WindowState &state, CommPort &port,
                       Clock &clock, ProgressView &view)
{
    UploadResult result;
    if (!port.isOpen()) {
        result.outcome = UploadResult::NoPort;
        return result;
    }
    state.WriteAddress = FirstWriteAddress;
    view.setProgressMaximum(FirstWriteAddress);

    // Judged whole first: a list the reader cannot hold, or with a card line
    // that says no code, is not sent at all.
    result.list = readCodeList(path, ReaderCapacity);
    result.cardLines = int(result.list.codes.size());
    CodeListReader reader;
    result.fileFault = result.list.fault != FileFault::None ? result.list.fault : reader.open(path);
    if (result.fileFault != FileFault::None) {
        result.outcome = UploadResult::FileFailed;
        return result;
    }
    if (result.list.malformedCount > 0) {
        result.outcome = UploadResult::Malformed;
        return result;
    }
    if (result.cardLines > ReaderCapacity) {
        result.outcome = UploadResult::TooManyCards;
        return result;
    }
    view.expectRecords(result.cardLines);

    QByteArray line;
    for (qint64 number = 1;; ++number) {
        // The end of the file is known before the address is shown, so the
        // finish never stands over an address that no record got.
        if (!reader.readLine(line)) {
            result.fileFault = reader.fault();
            result.outcome = result.fileFault == FileFault::None ? UploadResult::Done
                                                                 : UploadResult::FileFailed;
            return result;
        }
        if (state.WriteAddress >= 0)
            view.showProgress(state.WriteAddress);
        const ListLine judged = judgeLine(line);
        if (judged.kind == ListLine::Other)
            continue;
        if (judged.kind == ListLine::Malformed) {   // the file changed after it was judged
            result.list = CodeList();
            result.list.noteMalformed(number, line);
            result.outcome = UploadResult::Malformed;
            return result;
        }
        if (state.WriteAddress < 0) {   // the file grew after it was judged
            result.outcome = UploadResult::TooManyCards;
            result.cardLines = ReaderCapacity + 1;
            return result;
        }
        const RecordOutcome record = writeRecord({judged.code, openingTime}, state, port, clock);
        if (record == RecordOutcome::LineLost) {
            result.outcome = UploadResult::LineLost;
            return result;
        }
        result.written += record == RecordOutcome::Taken;
        if (clock.stopRequested()) {
            result.outcome = UploadResult::Interrupted;
            return result;
        }
        if (record != RecordOutcome::Taken) {
            result.outcome = UploadResult::Refused;
            return result;
        }
    }
}
