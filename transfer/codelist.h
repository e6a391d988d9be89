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
enum class FileFault {
    None, NoName, BadName, Missing, NotRegular, NoPermission, ReadOnly, DiskFull, Exists, NotASnapshot, Other
};
FileFault faultFromErrno(int error);

// Opens a file the person named, only when it is a regular file (a symbolic
// link to one is followed), never waiting on a FIFO or a device.
FileFault openRegularFile(const QByteArray &name, int flags, int &fd);
// Writes all of data; false with errno set (ENOSPC when the file takes no more).
bool writeAll(int fd, const QByteArray &data);

// A name that reached us whole: no character was lost on the way from the
// bytes of the file system (a name that is not UTF-8 arrives with U+FFFD in it,
// and would name another file).
bool isFaithfulFileName(const QString &path);

QByteArray headerLine();                       // "3,200,0715"
QByteArray cardLine(const CardCode &code);     // "1,200,BB" and ten hex digits

// What a line of a code list is. Spaces and tabs at either end do not count.
// A card line starts with "1"; it is well-formed when its last field (after the
// last comma, semicolon or tab) is ten hex digits, optionally after "BB", and
// those digits are its code. Every other line is passed over.
struct ListLine {
    enum Kind { Other, Card, Malformed } kind = Other;
    CardCode code{};
};
ListLine judgeLine(QByteArrayView line);

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

// A code list as judged before anything is sent: its well-formed codes, and
// where it is broken.
struct CodeList {
    static constexpr int NamedLines = 5;   // malformed lines named by number

    FileFault fault = FileFault::None;
    QList<CardCode> codes;          // in file order, at most limit + 1 of them
    qint64 malformedCount = 0;
    QList<qint64> malformedLines;   // the first NamedLines, numbered from 1
    QByteArray firstMalformed;      // the first malformed line, blanks trimmed

    bool isUsable(int limit) const { return fault == FileFault::None && malformedCount == 0 && codes.size() <= limit; }
    void noteMalformed(qint64 lineNumber, const QByteArray &line);
};

// Reads and judges the whole list. At most limit + 1 codes are kept (one more
// than limit says the list is longer than that); the lines after them are
// still judged.
CodeList readCodeList(const QString &path, int limit);

// The file a readout appends to. It is opened before the reader is asked, and
// the codes go into that open file: a name swapped for a link or renamed during
// the 21-second dump does not redirect them.
class ReadoutFile
{
public:
    ReadoutFile() = default;
    ~ReadoutFile();   // a file made for a readout that never came is removed
    ReadoutFile(const ReadoutFile &) = delete;
    ReadoutFile &operator=(const ReadoutFile &) = delete;

    // A regular file (a link to one is followed), or a new one in an existing folder.
    FileFault open(const QString &path);
    FileFault fault() const { return m_fault; }
    bool isNew() const { return m_created; }
    // Appends one readout (header and card lines) as a whole: when any write
    // fails, the file is cut back to what it was (a new one removed) and the
    // fault is returned. A file whose last line has no line end gets one first.
    FileFault append(const QList<CardCode> &codes);

private:
    void discard();

    int m_fd = -1;
    QByteArray m_name;
    bool m_created = false;
    FileFault m_fault = FileFault::NoName;
};
