#include "transfer/upload.h"
#include "serial/line.h"
#include "transfer/clock.h"

UploadResult runUpload(Conversation &c, const CodeList &list, int openingTime)
{
    UploadResult result;
    if (!isOpeningTime(openingTime)) {
        result.outcome = UploadResult::NoOpeningTime;
        return result;
    }
    switch (listProblem(list, ListUse::Upload, ReaderCapacity)) {
    case ListProblem::Unreadable: result.outcome = UploadResult::FileFailed; return result;
    case ListProblem::Malformed: result.outcome = UploadResult::Malformed; return result;
    case ListProblem::TooManyCards: result.outcome = UploadResult::TooManyCards; return result;
    default: break;
    }
    if (!c.line.isOpen()) {
        result.outcome = c.line.lineLost() ? UploadResult::LineLost : UploadResult::NoPort;
        return result;
    }
    c.state.writeAddress = FirstWriteAddress;
    c.view.beginPhase(ProgressView::Phase::Writing, int(list.cards.size()));
    if (!list.cards.isEmpty()) {
        switch (waitForQuiet(c)) {
        case DumpOutcome::Done: break;
        case DumpOutcome::Interrupted: result.outcome = UploadResult::Interrupted; return result;
        case DumpOutcome::Noisy: result.outcome = UploadResult::Noisy; return result;
        default: result.outcome = UploadResult::LineLost; return result;
        }
    }
    for (const ListedCard &card : list.cards) {
        c.view.showRecords(result.written, c.state.writeAddress);
        bool sent = false;
        const RecordOutcome outcome = writeRecord(c, {card.code, openingTime}, &sent);
        if (outcome == RecordOutcome::Taken) {
            ++result.written;
            if (!c.clock.stopRequested())
                continue;
            result.outcome = UploadResult::Interrupted;
            return result;
        }
        result.lastUncertain = sent && mayHaveTaken(outcome);
        result.failed = {card.code, openingTime};
        result.failedLine = card.line;
        switch (outcome) {
        case RecordOutcome::Refused: result.outcome = UploadResult::Refused; break;
        case RecordOutcome::Unanswered: result.outcome = UploadResult::Unanswered; break;
        case RecordOutcome::LineLost: result.outcome = UploadResult::LineLost; break;
        case RecordOutcome::Taken:
        case RecordOutcome::Interrupted: result.outcome = UploadResult::Interrupted; break;
        }
        return result;
    }
    return result;
}
