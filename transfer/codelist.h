// The code list file: comma-separated text, a header line per readout and one
// line per card. Written by appending, read back leniently, because the files
// are also written by other tools and by hand.
#pragma once

#include "serial/frames.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

// Why a file could not be used, in terms a user can act on.
enum class FileFault { None, NoName, Missing, NotRegular, NoPermission, ReadOnly, DiskFull, Other };
FileFault faultFromErrno(int error);

QByteArray headerLine();                       // "3,200,0715"
QByteArray cardLine(const CardCode &code);     // "1,200,BB" and ten hex digits

// A card line starts with "1"; its code is the last ten characters, read as
// five lenient hex pairs. Every other line is passed over.
std::optional<CardCode> decodeCardLine(QByteArrayView line);

// Reads a code list line by line in bounded memory. Accepts CR LF, a lone LF,
// a lone CR and a last line without terminator; a UTF-8 byte-order mark at the
// very start of the file is not part of the first line. Only a regular file
// (or a link to one) is opened: a FIFO or a device would keep the reader waiting.
class CodeListReader
{
public:
    CodeListReader() = default;
    ~CodeListReader();
    CodeListReader(const CodeListReader &) = delete;
    CodeListReader &operator=(const CodeListReader &) = delete;

    FileFault open(const QString &path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    bool rewind();
    // The next line without its terminator; false at the end or on a read error.
    bool readLine(QByteArray &line);
    FileFault fault() const { return m_fault; }

private:
    bool fill();

    int m_fd = -1;
    FileFault m_fault = FileFault::None;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_skipLf = false;   // a CR ended the last line; a LF right after it belongs to it
    bool m_atStart = true;   // the next read is the file's first: it may start with a byte-order mark
};

// The card codes from where the reader stands, in file order, at most limit + 1
// of them: one more than limit says the list is longer than that.
QList<CardCode> readCardCodes(CodeListReader &reader, int limit);

// Whether a readout could be appended to this file, known before the reader is
// asked: a regular file (or none yet, in an existing folder) that may be written.
FileFault checkAppendTarget(const QString &path);

// Appends one readout (header and card lines) as a whole: when any write
// fails, the file is cut back to what it was and the fault is returned. A file
// whose last line has no line end gets one first, so that line stays intact.
FileFault appendReadout(const QString &path, const QList<CardCode> &codes);
