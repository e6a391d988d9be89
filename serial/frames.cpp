#include "serial/frames.h"

RequestBytes writeRequestBytes(int readerAddress, const CardCode &code, int openingTime,
                             qint16 memoryAddress)
{
    // The address travels as its 16-bit two's-complement pattern, high byte first.
    const quint16 pattern = static_cast<quint16>(memoryAddress);
    return {readerAddress, code[0], code[1], code[2], code[3], code[4], openingTime,
            pattern >> 8, pattern & 0xFF, WriteRecord};
}

RequestBytes readRequestBytes(int readerAddress)
{
    return {readerAddress, 0, 0, 0, 0, 0, 0, 0, 0, ReadMemory};
}

quint8 checksum(const RequestBytes &bytes)
{
    int sum = 0;
    for (int b : bytes)
        sum += b;
    return static_cast<quint8>(sum & 0xFF);
}

QByteArray requestFrame(const RequestBytes &bytes)
{
    QByteArray frame;
    frame.reserve(RequestLength);
    for (int b : bytes)
        frame.append(static_cast<char>(b & 0xFF));
    frame.append(static_cast<char>(checksum(bytes)));
    return frame;
}

bool isWriteAccepted(QByteArrayView answer)
{
    return answer.size() >= 13 && static_cast<quint8>(answer[12]) == RecordTaken;
}

std::optional<DumpRecord> dumpBlock(QByteArrayView dump, int block)
{
    const qsizetype at = qsizetype(block) * DumpBlockLength;
    if (block < 0 || at + DumpBlockLength > dump.size())
        return std::nullopt;
    const auto byte = [&](int offset) { return static_cast<quint8>(dump[at + offset]); };
    const int time = byte(6);
    if (time < MinOpeningTime || time > MaxOpeningTime)   // erased slots read 0xFF here
        return std::nullopt;
    return DumpRecord{{byte(1), byte(2), byte(3), byte(4), byte(5)}, time};
}

QList<DumpRecord> validRecords(QByteArrayView dump)
{
    QList<DumpRecord> records;
    for (int block = 0; block < DumpExaminedBlocks; ++block) {
        if (const auto record = dumpBlock(dump, block))
            records.append(*record);
    }
    return records;
}

QString hexByte(quint8 byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

QString hexCode(const CardCode &code)
{
    QString text;
    for (quint8 b : code)
        text += hexByte(b);
    return text;
}
