#include "transfer/readout.h"

ReadoutResult runReadout(Conversation &c, ReadoutFile &file, const QList<KnownReader> &known)
{
    ReadoutResult result;
    result.newFile = file.isNew();
    // What can be known about the file is known before the 21-second dump.
    result.fileFault = file.fault();
    if (result.fileFault != FileFault::None)
        return result;
    QByteArray dump;
    c.view.beginPhase(ProgressView::Phase::Reading);
    result.dump = readDump(c, dump, known);
    if (result.dump != DumpOutcome::Done)
        return result;

    result.fileFault = appendCodesOf(dump, file, result.records);
    return result;
}

FileFault appendCodesOf(QByteArrayView dump, ReadoutFile &file, int &appended)
{
    QList<CardCode> codes;
    for (const DumpRecord &record : validRecords(dump))
        codes.append(record.code);
    const FileFault fault = file.append(codes);
    appended = fault == FileFault::None ? int(codes.size()) : 0;
    return fault;
}
