// The code list file: comma-separated text, a header line per readout and one
// line per card. Written by appending, read back leniently, because the files
// are also written by other tools and by hand.
#pragma once

#include "serial/frames.h"
#include "transfer/files.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>
#include <optional>

QByteArray headerLine();                       // "3,200,0715"
QByteArray cardLine(const CardCode &code);     // "1,200,BB" and ten hex digits

// What a line of a code list is. Spaces and tabs at either end do not count.
// A card line starts with "1"; it is well-formed when its last field (after the
// last comma, semicolon or tab) is ten hex digits, optionally after "BB", and
// those digits are its code. Every other line is passed over, but one whose
// last field is such a code looks like a card that lost its "1" (a spreadsheet
// that put another column first): it is suspicious.
// A card line may carry the last day its card is valid, as a field of its own
// right before the code: 1,200,Takarító Kft.,2027-03-31,BB0123456789. A field
// of that form there is the day, not part of the name; one that names no day
// (2027-02-30) makes the line suspicious.
struct ListLine {
    enum Kind { Other, Card, Malformed, Suspicious } kind = Other;
    CardCode code{};
    QString name;    // a card line's fields between the second one and the day or the code
    QDate lastDay;   // null: valid for ever
    bool badDay = false;
};
ListLine judgeLine(QByteArrayView line);
// A code as a card line's last field gives it: ten hex digits, optionally after "BB".
std::optional<CardCode> codeField(QByteArrayView field);

// Where a line's fields lie: its text without blanks at the ends, the first
// two separators before its last field (outside quotes), and the last field's
// separator (-1: none; a card's name stands between the second and the last).
struct LineFields {
    qsizetype begin = 0, end = 0;
    qsizetype firstSeparator = -1, secondSeparator = -1, lastSeparator = -1;
    qsizetype daySeparator = -1;   // before a field of the day's form right before the code
    qsizetype nameEnd() const { return daySeparator >= 0 ? daySeparator : lastSeparator; }
};
// The day as a card line writes it: 2027-03-31.
QByteArray dayField(const QDate &day);
LineFields fieldsOf(QByteArrayView line);

// A name as a card line carries it: as it is, or quoted (RFC 4180) when it
// holds a separator or a quote, or has a day's form.
QString nameField(const QString &name);
// A name as the person typed or pasted it, fit for one field of one line:
// line breaks, tabs and other control characters become spaces, and blanks
// at the ends go.
QString cleanName(const QString &name);
// Windows editors save "UTF-8 with BOM" files starting with these bytes.
inline constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

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
    // Reads these bytes as the file's, every line kept whole: a document that
    // writes its lines back must not cut one.
    void openBytes(const QByteArray &bytes);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    // The next line without its terminator; false at the end or on a read error.
    bool readLine(QByteArray &line);
    // How the line just read ended: "\r\n", "\n", "\r", or empty at the end of the file.
    QByteArray lineEnd() const { return m_lineEnd; }
    bool hadByteOrderMark() const { return m_byteOrderMark; }
    FileFault fault() const { return m_fault; }

private:
    bool fill();

    int m_fd = -1;
    FileFault m_fault = FileFault::None;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_atStart = true;   // the next read is the file's first: it may start with a byte-order mark
    bool m_byteOrderMark = false;
    bool m_wholeLines = false;
    QByteArray m_lineEnd;
};

// Lines of a list that are named to the person: how many, the first few by
// number, and the text of the first.
struct NamedLines {
    static constexpr int Shown = 5;
    qint64 count = 0;
    QList<qint64> numbers;   // the first Shown, numbered from 1
    QByteArray first;        // blanks trimmed
    void note(qint64 lineNumber, QByteArrayView line);
};

struct ListedCard {
    CardCode code{};
    QString name;
    qint64 line = 0;   // numbered from 1
    QDate lastDay;     // null: valid for ever
    // Expired means after its last day, by the machine's local calendar.
    bool isExpired(const QDate &today) const { return lastDay.isValid() && lastDay < today; }
};

// A code list as read once and judged before anything is sent.
struct CodeList {
    // More card lines than this are counted but not kept: no list that a
    // reader can hold comes near it.
    static constexpr qsizetype MaxKept = 65536;

    FileFault fault = FileFault::None;
    QList<ListedCard> cards;   // well-formed card lines in file order, at most MaxKept
    qint64 cardLines = 0;      // all of them
    NamedLines malformed;      // card lines that say no code
    NamedLines suspicious;     // lines that look like cards without being card lines

    QList<CardCode> codes() const;
    // The codes still valid on that day. A code's strictest day holds: once any of its lines has
    // expired, so has the code, and a line without a day (as a readout appends) never makes it
    // valid again.
    QList<CardCode> validCodes(const QDate &today) const;
    // The codes expired by that day, each once, as the line that gave its last day.
    QList<ListedCard> expired(const QDate &today) const;
    // The card lines whose last day is within days of today, or past: soonest first.
    QList<ListedCard> due(const QDate &today, int days) const;
    // The line that gives a code its last day: the earliest of its days; none when no line has one.
    const ListedCard *dayLineOf(const CardCode &code) const;
    int distinctCodes() const;   // when all are kept; else more than any reader holds
    const ListedCard *cardOf(const CardCode &code) const;   // its first line, or none
    QString nameOf(const CardCode &code) const;   // the first line's name, or empty
};

// Reads and judges the whole list.
CodeList readCodeList(const QString &path);
// The same for a list's bytes as they are to be written.
CodeList judgeCodeList(const QByteArray &bytes);

// What a list is to be used for, and what keeps it from that use.
enum class ListUse { Upload, Verify, Sync };
enum class ListProblem { None, Unreadable, Malformed, Suspicious, TooManyCards, NoCards, NoOpeningTime,
                         AllExpired };   // a sync would empty the reader
// An opening time the reader takes for a card: 0 or more than 127 it reads as no card.
inline bool isOpeningTime(int time) { return time >= MinOpeningTime && time <= MaxOpeningTime; }
// The upload sends every card line, so each line takes a place; verify and sync
// count each code once, as the reader holds it once. Only a sync refuses a
// list without cards: it would empty the reader.
ListProblem listProblem(const CodeList &list, ListUse use, int capacity);

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
