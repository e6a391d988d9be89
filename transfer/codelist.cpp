#include "transfer/codelist.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype ChunkSize = 64 * 1024;
// Only the first character (after blanks) and the last field of a line matter;
// a line longer than this (a binary file has them) keeps its head byte and its tail.
constexpr qsizetype MaxKeptLine = 4096;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedBlanks(QByteArrayView line)
{
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    while (!line.isEmpty() && isBlank(line.back()))
        line.chop(1);
    return line;
}

bool isSeparator(char c)
{
    return c == ',' || c == ';' || c == '\t';
}

// A day as people type one, whether or not such a day exists: 2027-03-31 (as the program writes
// it), 2027-3-5, and the Hungarian 2027.03.31. or 2027. 03. 31. (the last dot may be left out).
const QRegularExpression &dayForm()
{
    static const QRegularExpression form(QStringLiteral("^(\\d{4})(?:-(\\d{1,2})-(\\d{1,2})|\\. ?(\\d{1,2})\\. ?(\\d{1,2})\\.?)$"));
    return form;
}

bool looksLikeDay(QByteArrayView field)
{
    return dayForm().match(QString::fromLatin1(field)).hasMatch();
}

// The day a field of a day's form says; invalid when there is no such day (2027-02-30).
QDate dayOf(QByteArrayView field)
{
    const QRegularExpressionMatch m = dayForm().match(QString::fromLatin1(field));
    const bool iso = m.capturedLength(2) > 0;
    return QDate(m.captured(1).toInt(), m.captured(iso ? 2 : 4).toInt(), m.captured(iso ? 3 : 5).toInt());
}

// A field without the quotes a spreadsheet may put around it.
QByteArrayView unquoted(QByteArrayView field)
{
    return field.size() >= 2 && field.startsWith('"') && field.endsWith('"') ? field.sliced(1, field.size() - 2) : field;
}

// Whether a file ends in the middle of a line: not empty, and its last byte is
// no line end. A readout appended to it starts on a line of its own.
bool endsInsideLine(int fd, off_t size)
{
    char last = '\n';
    return size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n' && last != '\r';
}

} // namespace

QByteArray headerLine()
{
    return QByteArrayLiteral("3,200,0715");
}

QByteArray cardLine(const CardCode &code)
{
    return QByteArrayLiteral("1,200,BB") + hexCode(code).toLatin1();
}

namespace {

// Hungarian lists come from Windows spreadsheets as often as from anywhere
// else: text that is not UTF-8 is read as Windows' Central European code page.
QString decodedLine(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QStringDecoder centralEuropean("windows-1250");
    return centralEuropean.isValid() ? QString(centralEuropean(bytes)) : QString::fromLatin1(bytes);
}

// A quoted name field unquoted.
QString unquotedName(QByteArrayView field)
{
    QByteArray name = field.toByteArray().trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).replace("\"\"", "\"");
    return decodedLine(name);
}

} // namespace

std::optional<CardCode> codeField(QByteArrayView field)
{
    field = unquoted(field);
    if (field.size() == 12 && (field[0] == 'B' || field[0] == 'b') && (field[1] == 'B' || field[1] == 'b'))
        field = field.sliced(2);
    if (field.size() != 10 || !std::all_of(field.begin(), field.end(), isHexDigit))
        return std::nullopt;
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    CardCode code;
    for (int i = 0; i < 5; ++i)
        code[i] = quint8(nibble(field[2 * i]) << 4 | nibble(field[2 * i + 1]));
    return code;
}

LineFields fieldsOf(QByteArrayView line)
{
    LineFields f;
    f.end = line.size();
    while (f.begin < f.end && isBlank(line[f.begin]))
        ++f.begin;
    while (f.end > f.begin && isBlank(line[f.end - 1]))
        --f.end;
    for (qsizetype i = f.end - 1; i >= f.begin && f.lastSeparator < 0; --i) {
        if (isSeparator(line[i]))
            f.lastSeparator = i;
    }
    bool quoted = false;
    for (qsizetype i = f.begin; i < f.lastSeparator && f.secondSeparator < 0; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && isSeparator(line[i]))
            (f.firstSeparator < 0 ? f.firstSeparator : f.secondSeparator) = i;
    }
    // The day is the third field or a later one, right before the code. After a name it may be
    // quoted, or empty (a spreadsheet's day column left blank); the third field quoted is a name.
    if (f.secondSeparator >= 0) {
        qsizetype at = f.lastSeparator - 1;
        while (at > f.secondSeparator && !isSeparator(line[at]))
            --at;
        const QByteArrayView day = trimmedBlanks(line.sliced(at + 1, f.lastSeparator - at - 1));
        if (looksLikeDay(day) || (at > f.secondSeparator && (day.isEmpty() || looksLikeDay(unquoted(day)))))
            f.daySeparator = at;
    }
    return f;
}

QByteArray dayField(const QDate &day)
{
    return day.toString(Qt::ISODate).toLatin1();
}

ListLine judgeLine(QByteArrayView line)
{
    ListLine judged;
    const LineFields f = fieldsOf(line);
    const qsizetype codeStart = f.lastSeparator < 0 ? f.begin : f.lastSeparator + 1;
    const std::optional<CardCode> code = codeField(line.sliced(codeStart, f.end - codeStart));
    if (f.begin == f.end || line[f.begin] != '1') {
        if (code)
            judged.kind = ListLine::Suspicious;
        return judged;
    }
    if (!code) {
        judged.kind = ListLine::Malformed;
        return judged;
    }
    judged.kind = ListLine::Card;
    judged.code = *code;
    if (f.secondSeparator >= 0 && f.nameEnd() > f.secondSeparator)
        judged.name = unquotedName(line.sliced(f.secondSeparator + 1, f.nameEnd() - f.secondSeparator - 1));
    if (f.daySeparator >= 0) {
        const QByteArrayView day = unquoted(trimmedBlanks(line.sliced(f.daySeparator + 1, f.lastSeparator - f.daySeparator - 1)));
        if (!day.isEmpty()) {
            judged.lastDay = dayOf(day);
            judged.badDay = !judged.lastDay.isValid();
        }
    }
    return judged;
}

QString nameField(const QString &name)
{
    // A name of a day's form is quoted, or it would be read as the card's last day.
    if (!name.contains(QLatin1Char(',')) && !name.contains(QLatin1Char(';')) && !name.contains(QLatin1Char('\t'))
        && !name.contains(QLatin1Char('"')) && !looksLikeDay(name.toLatin1()))
        return name;
    return QLatin1Char('"') + QString(name).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString cleanName(const QString &name)
{
    QString clean = name;
    for (QChar &c : clean) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return clean.trimmed();
}

CodeListReader::~CodeListReader()
{
    close();
}

FileFault CodeListReader::open(const QString &path)
{
    close();
    if (path.isEmpty())
        return m_fault = FileFault::NoName;
    if (!isFaithfulFileName(path))
        return m_fault = FileFault::BadName;
    return m_fault = openRegularFile(QFile::encodeName(path), O_RDONLY, m_fd);
}

void CodeListReader::openBytes(const QByteArray &bytes)
{
    close();
    m_fault = FileFault::None;
    m_buffer = bytes;
    m_eof = true;
    m_atStart = false;
    m_wholeLines = true;
    m_byteOrderMark = m_buffer.startsWith(ByteOrderMark);
    if (m_byteOrderMark)
        m_pos = qstrlen(ByteOrderMark);
}

void CodeListReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    m_atStart = true;
    m_byteOrderMark = false;
    m_wholeLines = false;
    m_lineEnd.clear();
}

bool CodeListReader::fill()
{
    if (m_eof || m_fd < 0)
        return false;
    m_buffer.resize(ChunkSize);
    ssize_t n;
    do {
        n = ::read(m_fd, m_buffer.data(), size_t(ChunkSize));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_fault = faultFromErrno(errno);
        if (m_fault == FileFault::None)
            m_fault = FileFault::Other;
    }
    m_buffer.resize(qMax<ssize_t>(n, 0));
    m_pos = 0;
    m_eof = n <= 0;
    if (m_atStart) {
        m_atStart = false;
        m_byteOrderMark = m_buffer.startsWith(ByteOrderMark);
        if (m_byteOrderMark)
            m_pos = qstrlen(ByteOrderMark);
    }
    return n > 0;
}

bool CodeListReader::readLine(QByteArray &line)
{
    line.clear();
    m_lineEnd.clear();
    bool any = false;
    for (;;) {
        while (m_pos >= m_buffer.size()) {
            if (!fill())
                return any && m_fault == FileFault::None;
        }
        any = true;
        const char *begin = m_buffer.constData() + m_pos;
        const char *end = m_buffer.constData() + m_buffer.size();
        const char *stop = begin;
        while (stop < end && *stop != '\n' && *stop != '\r')
            ++stop;
        line.append(begin, stop - begin);
        if (line.size() > MaxKeptLine && !m_wholeLines) {
            qsizetype blanks = 0;   // leading blanks do not count; trailing ones may still
            while (blanks < line.size() && isBlank(line[blanks]))
                ++blanks;
            line.remove(0, blanks);
            if (line.size() > MaxKeptLine)
                line = line.first(1) + line.last(MaxKeptLine / 2);
        }
        m_pos += stop - begin;
        if (stop < end) {
            const bool cr = *stop == '\r';
            ++m_pos;
            m_lineEnd = cr ? QByteArrayLiteral("\r") : QByteArrayLiteral("\n");
            // The LF of a CR LF may begin the next chunk: the line's end is the whole pair.
            if (cr && (m_pos < m_buffer.size() || fill()) && m_buffer[m_pos] == '\n') {
                m_lineEnd = QByteArrayLiteral("\r\n");
                ++m_pos;
            }
            return true;
        }
    }
}

void NamedLines::note(qint64 lineNumber, QByteArrayView line)
{
    if (count++ == 0)
        first = trimmedBlanks(line).toByteArray();
    if (numbers.size() < Shown)
        numbers.append(lineNumber);
}

QList<CardCode> CodeList::codes() const
{
    QList<CardCode> all;
    all.reserve(cards.size());
    for (const ListedCard &card : cards)
        all.append(card.code);
    return all;
}

namespace {

// For each code with a day, the index of its line with the earliest day.
QHash<quint64, qsizetype> dayLines(const QList<ListedCard> &cards)
{
    QHash<quint64, qsizetype> lines;
    for (qsizetype i = 0; i < cards.size(); ++i) {
        if (!cards[i].lastDay.isValid())
            continue;
        const auto found = lines.constFind(codeKey(cards[i].code));
        if (found == lines.cend() || cards[i].lastDay < cards[*found].lastDay)
            lines.insert(codeKey(cards[i].code), i);
    }
    return lines;
}

} // namespace

QList<CardCode> CodeList::validCodes(const QDate &today) const
{
    const QHash<quint64, qsizetype> days = dayLines(cards);
    QList<CardCode> codes;
    for (const ListedCard &card : cards) {
        const auto day = days.constFind(codeKey(card.code));
        if (day == days.cend() || !cards[*day].isExpired(today))
            codes.append(card.code);
    }
    return codes;
}

QList<ListedCard> CodeList::expired(const QDate &today) const
{
    const QHash<quint64, qsizetype> days = dayLines(cards);
    QSet<quint64> seen;
    QList<ListedCard> gone;
    for (const ListedCard &card : cards) {
        const auto day = days.constFind(codeKey(card.code));
        if (day != days.cend() && cards[*day].isExpired(today) && !seen.contains(codeKey(card.code))) {
            seen.insert(codeKey(card.code));
            gone.append(cards[*day]);
        }
    }
    return gone;
}

QList<ListedCard> CodeList::due(const QDate &today, int days) const
{
    QList<ListedCard> soon;
    for (const ListedCard &card : cards) {
        if (card.lastDay.isValid() && card.lastDay <= today.addDays(days))
            soon.append(card);
    }
    std::stable_sort(soon.begin(), soon.end(), [](const ListedCard &a, const ListedCard &b) { return a.lastDay < b.lastDay; });
    return soon;
}

const ListedCard *CodeList::dayLineOf(const CardCode &code) const
{
    const ListedCard *line = nullptr;
    for (const ListedCard &card : cards) {
        if (card.code == code && card.lastDay.isValid() && (!line || card.lastDay < line->lastDay))
            line = &card;
    }
    return line;
}

int CodeList::distinctCodes() const
{
    if (cardLines > cards.size())
        return int(qMin<qint64>(cardLines, std::numeric_limits<int>::max()));
    QSet<quint64> seen;
    for (const ListedCard &card : cards)
        seen.insert(codeKey(card.code));
    return int(seen.size());
}

const ListedCard *CodeList::cardOf(const CardCode &code) const
{
    const auto card = std::find_if(cards.cbegin(), cards.cend(), [&](const ListedCard &c) { return c.code == code; });
    return card == cards.cend() ? nullptr : &*card;
}

QString CodeList::nameOf(const CardCode &code) const
{
    const ListedCard *card = cardOf(code);
    return card ? card->name : QString();
}

namespace {

CodeList judgedList(CodeListReader &reader, FileFault opened)
{
    CodeList list;
    list.fault = opened;
    QByteArray line;
    for (qint64 number = 1; list.fault == FileFault::None && reader.readLine(line); ++number) {
        ListLine judged = judgeLine(line);
        switch (judged.kind) {
        case ListLine::Malformed: list.malformed.note(number, line); break;
        case ListLine::Suspicious: list.suspicious.note(number, line); break;
        case ListLine::Other: break;
        case ListLine::Card:
            if (judged.badDay)   // sent by an upload as any card line, refused by a sync
                list.suspicious.note(number, line);
            if (list.cardLines++ < CodeList::MaxKept)
                list.cards.append({judged.code, std::move(judged.name), number, judged.lastDay});
            break;
        }
    }
    if (list.fault == FileFault::None)
        list.fault = reader.fault();
    return list;
}

} // namespace

CodeList readCodeList(const QString &path)
{
    CodeListReader reader;
    const FileFault opened = reader.open(path);
    return judgedList(reader, opened);
}

CodeList judgeCodeList(const QByteArray &bytes)
{
    CodeListReader reader;
    reader.openBytes(bytes);
    return judgedList(reader, FileFault::None);
}

ListProblem listProblem(const CodeList &list, ListUse use, int capacity)
{
    if (list.fault != FileFault::None)
        return ListProblem::Unreadable;
    if (list.malformed.count > 0)
        return ListProblem::Malformed;
    if (use != ListUse::Upload && list.suspicious.count > 0)
        return ListProblem::Suspicious;
    if ((use == ListUse::Upload ? list.cardLines : list.distinctCodes()) > capacity)
        return ListProblem::TooManyCards;
    if (use == ListUse::Sync && list.cardLines == 0)
        return ListProblem::NoCards;
    return ListProblem::None;
}

ReadoutFile::~ReadoutFile()
{
    discard();
}

FileFault ReadoutFile::open(const QString &path)
{
    discard();
    if (path.isEmpty())
        return m_fault = FileFault::NoName;
    if (!isFaithfulFileName(path))
        return m_fault = FileFault::BadName;
    m_name = QFile::encodeName(path);
    m_fault = openRegularFile(m_name, O_RDWR | O_APPEND, m_fd);
    if (m_fault == FileFault::Missing) {
        // A new list. O_EXCL: a link planted meanwhile is not followed.
        m_fd = ::open(m_name.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0644);
        m_created = m_fd >= 0;
        m_fault = m_created ? FileFault::None : faultFromErrno(errno);
    }
    return m_fault;
}

void ReadoutFile::discard()
{
    if (m_fd < 0)
        return;
    if (m_created) {
        // Only if the name still stands for the file made here.
        struct stat named, ours;
        if (::lstat(m_name.constData(), &named) == 0 && ::fstat(m_fd, &ours) == 0
            && named.st_dev == ours.st_dev && named.st_ino == ours.st_ino)
            ::unlink(m_name.constData());
    }
    ::close(m_fd);
    m_fd = -1;
    m_created = false;
    m_fault = FileFault::NoName;
}

FileFault ReadoutFile::append(const QList<CardCode> &codes)
{
    if (m_fd < 0)
        return m_fault;
    QByteArray text = headerLine() + "\r\n";
    for (const CardCode &code : codes)
        text += cardLine(code) + "\r\n";

    struct stat before;
    if (::fstat(m_fd, &before) != 0) {
        const FileFault fault = faultFromErrno(errno);
        discard();
        return fault;
    }
    if (endsInsideLine(m_fd, before.st_size))
        text.prepend("\r\n");

    int error = 0;
    if (!writeAll(m_fd, text))
        error = errno;
    else if (::fsync(m_fd) != 0 && errno != EINVAL)   // EINVAL: cannot sync there; nothing lost
        error = errno;
    // Closing a copy first: some file systems report a failed write only then,
    // and the file can still be put back through the descriptor.
    const int copy = error == 0 ? ::dup(m_fd) : -1;
    if (copy >= 0 && ::close(copy) != 0)
        error = errno;
    if (error != 0 && !m_created && ::ftruncate(m_fd, before.st_size) == 0)
        ::fsync(m_fd);
    if (error == 0)
        m_created = false;   // it stays: the readout is in it
    discard();
    return faultFromErrno(error);
}
