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

QString hexByte(quint8 byte);
QString hexCode(const CardCode &code);
