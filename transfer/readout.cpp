#include "transfer/readout.h"

ReadoutResult runReadout(Conversation &c, ReadoutFile &file)
{
    ReadoutResult result;
    result.newFile = file.isNew();
    // What can be known about the file is known before the 21-second dump.
    result.fileFault = file.fault();
    if (result.fileFault != FileFault::None)
        return result;
    QByteArray dump;
    c.view.beginPhase(ProgressView::Phase::Reading);
    result.dump = readDump(c, dump);
    if (result.dump != DumpOutcome::Done)
        return result;

    QList<CardCode> codes;
    for (const DumpRecord &record : validRecords(dump))
        codes.append(record.code);
    result.fileFault = file.append(codes);
    if (result.fileFault == FileFault::None)
        result.records = int(codes.size());
    return result;
}
