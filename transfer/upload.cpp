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

    CodeListReader reader;
    result.fileFault = reader.open(path);
    if (result.fileFault == FileFault::None) {
        // Counted first: a list the reader cannot hold is not sent at all. Past
        // one more than it holds the number does not matter, and an absurd file
        // cannot overflow the count.
        result.cardLines = int(readCardCodes(reader, ReaderCapacity).size());
        result.fileFault = reader.fault();
    }
    if (result.fileFault == FileFault::None && !reader.rewind())
        result.fileFault = FileFault::Other;
    if (result.fileFault != FileFault::None) {
        result.outcome = UploadResult::FileFailed;
        return result;
    }
    if (result.cardLines > ReaderCapacity) {
        result.outcome = UploadResult::TooManyCards;
        return result;
    }
    view.expectRecords(result.cardLines);

    QByteArray line;
    for (;;) {
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
        const auto code = decodeCardLine(line);
        if (!code)
            continue;
        if (state.WriteAddress < 0) {   // the file grew after it was counted
            result.outcome = UploadResult::TooManyCards;
            result.cardLines = ReaderCapacity + 1;
            return result;
        }
        state.FrameBytes = writeRequestBytes(state.ReaderAddress, *code, openingTime, state.WriteAddress);
        state.RequestFrame = requestFrame(state.FrameBytes);

        clock.sleep(PauseBeforeRequestMs);
        port.clearReceiveBuffer();
        const bool sent = port.send(state.RequestFrame);
        state.WriteAddress -= RecordSpacing;
        const QByteArray answer = sent ? waitForWriteAnswer(state, port, clock) : QByteArray();
        if (port.lineLost()) {
            result.outcome = UploadResult::LineLost;
            return result;
        }
        const bool taken = isWriteAccepted(answer);
        result.written += taken;
        if (clock.stopRequested()) {
            result.outcome = UploadResult::Interrupted;
            return result;
        }
        if (!taken) {
            result.outcome = UploadResult::Refused;
            return result;
        }
    }
}
