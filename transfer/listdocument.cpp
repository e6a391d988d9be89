#include "transfer/listdocument.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void syncFolderOf(const QByteArray &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

FileFault replaceFile(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return FileFault::NoName;
    if (!isFaithfulFileName(path))
        return FileFault::BadName;
    // A link keeps pointing where it did: the file it names is the one replaced.
    const QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    const QByteArray name = QFile::encodeName(target);
    mode_t mode = 0644;
    struct stat old;
    if (::stat(name.constData(), &old) == 0) {
        if (!S_ISREG(old.st_mode))
            return FileFault::NotRegular;
        mode = old.st_mode & 07777;
    }
    QByteArray temporary = QFile::encodeName(QFileInfo(target).absolutePath() + QStringLiteral("/.vivadizuzud-XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return faultFromErrno(errno);
    int error = 0;
    if (!writeAll(fd, bytes) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), name.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return faultFromErrno(error);
    }
    syncFolderOf(name);
    return FileFault::None;
}

void ListDocument::clear(const QString &path)
{
    m_path = path;
    m_lines.clear();
    m_cards.clear();
    m_cardData.clear();
    m_byteOrderMark = false;
    m_utf8 = true;
    m_modified = false;
    m_judged = CodeList();
}

FileFault ListDocument::load(const QString &path)
{
    clear(path);
    CodeListReader reader;
    if (const FileFault fault = reader.open(path); fault != FileFault::None)
        return m_judged.fault = fault;
    QByteArray text;
    for (qint64 number = 1; reader.readLine(text); ++number) {
        m_utf8 = m_utf8 && text.isValidUtf8();
        ListLine judged = judgeLine(text);
        // A line too long to keep whole could not be written back as it was.
        if (reader.lineWasCut() && judged.kind != ListLine::Malformed)
            judged.kind = ListLine::Malformed;
        switch (judged.kind) {
        case ListLine::Card:
            m_cards.append(int(m_lines.size()));
            m_cardData.append({judged.code, judged.name});
            m_judged.cards.append({judged.code, judged.name, number});
            ++m_judged.cardLines;
            break;
        case ListLine::Malformed: m_judged.malformed.note(number, text); break;
        case ListLine::Suspicious: m_judged.suspicious.note(number, text); break;
        case ListLine::Other: break;
        }
        m_lines.append({text, reader.lineEnd()});
    }
    m_byteOrderMark = reader.hadByteOrderMark();
    return m_judged.fault = reader.fault();
}

FileFault ListDocument::save(const QString &path)
{
    if (isReadOnly())
        return FileFault::ReadOnly;
    const QString to = path.isEmpty() ? m_path : path;
    QByteArray bytes = m_byteOrderMark ? QByteArray(ByteOrderMark) : QByteArray();
    for (const Line &line : std::as_const(m_lines))
        bytes += line.text + line.end;
    const FileFault fault = replaceFile(to, bytes);
    if (fault == FileFault::None) {
        m_path = to;
        m_modified = false;
    }
    return fault;
}

ListDocument::Card ListDocument::card(int index) const
{
    return m_cardData[index];
}

void ListDocument::rejudge(int index)
{
    const ListLine judged = judgeLine(m_lines[lineIndexOfCard(index)].text);
    m_cardData[index] = {judged.code, judged.name};
}

qint64 ListDocument::lineOf(int index) const
{
    return lineIndexOfCard(index) + 1;
}

std::optional<int> ListDocument::find(const CardCode &code) const
{
    for (int i = 0; i < cardCount(); ++i) {
        if (card(i).code == code)
            return i;
    }
    return std::nullopt;
}

QByteArray ListDocument::encoded(const QString &text) const
{
    if (m_utf8)
        return text.toUtf8();
    QStringEncoder centralEuropean("windows-1250");
    return centralEuropean.isValid() ? QByteArray(centralEuropean(text)) : text.toLatin1();
}

QByteArray ListDocument::newLineEnd() const
{
    for (const Line &line : m_lines) {
        if (!line.end.isEmpty())
            return line.end;
    }
    return QByteArrayLiteral("\r\n");   // as a readout writes
}

void ListDocument::setName(int index, const QString &name)
{
    QByteArray &text = m_lines[lineIndexOfCard(index)].text;
    const LineFields f = fieldsOf(text);
    const QByteArray field = encoded(nameField(name.trimmed()));
    if (f.firstSeparator < 0) {
        // "1ABCDEF0123" or "1,BB...": no place for a name; written as a readout writes a card.
        const CardCode code = card(index).code;
        text = "1,200," + (field.isEmpty() ? QByteArray() : field + ',') + "BB" + hexCode(code).toLatin1();
    } else if (f.secondSeparator >= 0) {   // the name stands between the second field and the code
        const qsizetype from = f.secondSeparator;
        text = field.isEmpty() ? text.left(from) + text.mid(f.lastSeparator)
                               : text.left(from + 1) + field + text.mid(f.lastSeparator);
    } else if (!field.isEmpty()) {
        text = text.left(f.lastSeparator) + text[f.lastSeparator] + field + text.mid(f.lastSeparator);
    }
    rejudge(index);
    m_modified = true;
}

int ListDocument::addCard(const CardCode &code, const QString &name)
{
    const QByteArray field = encoded(nameField(name.trimmed()));
    if (!m_lines.isEmpty() && m_lines.last().end.isEmpty())
        m_lines.last().end = newLineEnd();   // the last line had none: the new card starts a line of its own
    m_lines.append({"1,200," + (field.isEmpty() ? QByteArray() : field + ',') + "BB" + hexCode(code).toLatin1(),
                    newLineEnd()});
    m_cards.append(int(m_lines.size() - 1));
    m_cardData.append(Card{});
    rejudge(cardCount() - 1);
    m_modified = true;
    return cardCount() - 1;
}

ListDocument::RemovedCard ListDocument::removeCard(int index)
{
    const int at = lineIndexOfCard(index);
    const RemovedCard removed{at, m_lines[at].text, m_lines[at].end};
    m_lines.removeAt(at);
    m_cards.removeAt(index);
    m_cardData.removeAt(index);
    for (int &line : m_cards) {
        if (line > at)
            --line;
    }
    m_modified = true;
    return removed;
}

void ListDocument::insertCard(int index, const RemovedCard &card)
{
    m_lines.insert(card.line, {card.text, card.end});
    for (int &line : m_cards) {
        if (line >= card.line)
            ++line;
    }
    m_cards.insert(index, card.line);
    m_cardData.insert(index, Card{});
    rejudge(index);
    m_modified = true;
}
