// The reader's byte frames: 11-byte requests with an additive checksum,
// 15-byte write answers and the 20490-byte memory dump.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <optional>

using CardCode = std::array<quint8, 5>;   // most significant byte first
using RequestBytes = std::array<int, 10>; // bytes 1-10 of a request, before the checksum

constexpr int RequestLength = 11;
constexpr int WriteAnswerLength = 15;
constexpr int DumpLength = 20490;
constexpr int DumpBlockLength = 15;
constexpr int DumpExaminedBlocks = 1365;  // the 1366th block is never looked at

// Records go from the top of the memory down: 7392 (0x1CE0), 7386, ... 0.
constexpr qint16 FirstWriteAddress = 7392;
constexpr int RecordSpacing = 6;
constexpr int ReaderCapacity = FirstWriteAddress / RecordSpacing + 1;   // 1233 records
constexpr qint16 writeAddressOf(int slot) { return qint16(FirstWriteAddress - slot * RecordSpacing); }

constexpr quint8 WriteRecord = 0x06;
constexpr quint8 ReadMemory = 0x20;
constexpr quint8 RecordTaken = 0x06;      // status byte 13 of a write answer

constexpr int MinOpeningTime = 1;
constexpr int MaxOpeningTime = 127;

RequestBytes writeRequestBytes(int readerAddress, const CardCode &code, int openingTime,
                             qint16 memoryAddress);
RequestBytes readRequestBytes(int readerAddress);
quint8 checksum(const RequestBytes &bytes);
QByteArray requestFrame(const RequestBytes &bytes);   // the ten bytes and their checksum

bool isWriteAccepted(QByteArrayView answer);

struct DumpRecord {
    CardCode code;
    int openingTime;
};
std::optional<DumpRecord> dumpBlock(QByteArrayView dump, int block);
QList<DumpRecord> validRecords(QByteArrayView dump);

// A code as one number, for sets and maps.
constexpr quint64 codeKey(const CardCode &code)
{
    quint64 value = 0;
    for (quint8 byte : code)
        value = value << 8 | byte;
    return value;
}

QString hexByte(quint8 byte);
QString hexCode(const CardCode &code);
