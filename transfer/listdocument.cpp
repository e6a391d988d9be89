#include "transfer/listdocument.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <sys/stat.h>

void ListDocument::clear(const QString &path)
{
    m_path = path;
    m_stamp = FileStamp();
    m_lines.clear();
    m_cards.clear();
    m_cardData.clear();
    m_byteOrderMark = false;
    m_utf8 = true;
    m_separator = ',';
    m_quotesNames = false;
    m_judged = CodeList();
}

FileFault ListDocument::load(const QString &path)
{
    clear(path);
    QByteArray bytes;
    // A link is followed here: the person chose this name, and a save writes the file it led to.
    if (const FileFault fault = stampPath(path, true, m_stamp, &bytes); fault != FileFault::None) {
        m_stamp = FileStamp();
        return m_judged.fault = fault;
    }
    parse(bytes);
    return FileFault::None;
}

void ListDocument::loadBytes(const QString &path, const FileStamp &stamp, const QByteArray &bytes)
{
    clear(path);
    m_stamp = stamp;
    parse(bytes);
}

void ListDocument::parse(const QByteArray &bytes)
{
    CodeListReader reader;
    reader.openBytes(bytes);
    QByteArray text;
    bool styleKnown = false;
    for (qint64 number = 1; reader.readLine(text); ++number) {
        m_utf8 = m_utf8 && text.isValidUtf8();
        const ListLine judged = judgeLine(text);
        switch (judged.kind) {
        case ListLine::Card: {
            m_cards.append(int(m_lines.size()));
            m_cardData.append({judged.code, judged.name, judged.lastDay});
            m_judged.cards.append({judged.code, judged.name, number, judged.lastDay});
            if (judged.badDay)
                m_judged.suspicious.note(number, text);
            ++m_judged.cardLines;
            // New cards follow the first card line that shows how the file writes them.
            const LineFields f = fieldsOf(text);
            if (!styleKnown && f.firstSeparator >= 0) {
                m_separator = text[f.firstSeparator];
                styleKnown = f.secondSeparator >= 0;
                m_quotesNames = styleKnown && text[f.secondSeparator + 1] == '"';
            }
            break;
        }
        case ListLine::Malformed: m_judged.malformed.note(number, text); break;
        case ListLine::Suspicious: m_judged.suspicious.note(number, text); break;
        case ListLine::Other: break;
        }
        m_lines.append({text, reader.lineEnd()});
    }
    m_byteOrderMark = reader.hadByteOrderMark();
}

QByteArray ListDocument::bytes() const
{
    QByteArray bytes = m_byteOrderMark ? QByteArray(ByteOrderMark) : QByteArray();
    for (const Line &line : m_lines)
        bytes += line.text + line.end;
    return bytes;
}

FileFault ListDocument::save(QString *keptCopy)
{
    if (isReadOnly())
        return FileFault::ReadOnly;
    FileStamp written;
    const FileFault fault = m_stamp.isValid() ? writeOver(m_path, m_stamp, bytes(), written, keptCopy)
                                              : writeNew(m_path, bytes(), written);
    if (fault == FileFault::None) {
        m_stamp = written;
    }
    return fault;
}

FileFault ListDocument::saveAs(const QString &path, QString *keptCopy)
{
    if (path == m_path)
        return save(keptCopy);
    if (isReadOnly())
        return FileFault::ReadOnly;
    FileStamp there, written;
    // A new name is never written through a link: planted there, it would send the list to the
    // file it leads to.
    FileFault fault = stampPath(path, false, there);
    if (fault == FileFault::Replaced)
        fault = FileFault::Link;
    else if (fault == FileFault::None)
        fault = writeOver(path, there, bytes(), written, keptCopy);
    else if (fault == FileFault::Missing)
        fault = writeNew(path, bytes(), written);
    if (fault == FileFault::None) {
        m_path = path;
        m_stamp = written;
    }
    return fault;
}

DiskChange ListDocument::diskChange() const
{
    if (!m_stamp.isValid())   // never saved: nothing may stand under its name yet
        return QFileInfo::exists(m_path) || QFileInfo(m_path).isSymLink() ? DiskChange::Elsewhere : DiskChange::Same;
    return lookAgain(m_path, m_stamp);
}

bool ListDocument::takeDiskAsRead()
{
    FileStamp now;
    const FileFault fault = stampPath(m_path, m_stamp.throughLink, now);
    if (fault == FileFault::Missing) {   // gone: a save makes it anew
        m_stamp = FileStamp();
        return true;
    }
    if (fault != FileFault::None || now.device != m_stamp.device || now.inode != m_stamp.inode)
        return false;
    m_stamp = now;
    return true;
}

CodeList ListDocument::codeList() const
{
    // Judged anew: a day mended since the file was read no longer holds the list back.
    return judgeCodeList(bytes());
}

ListDocument::Card ListDocument::card(int index) const
{
    return m_cardData[index];
}

void ListDocument::rejudge(int index)
{
    const ListLine judged = judgeLine(m_lines[lineIndexOfCard(index)].text);
    m_cardData[index] = {judged.code, judged.name, judged.lastDay};
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

QByteArray ListDocument::nameFieldOf(const QString &name) const
{
    const QString clean = cleanName(name);
    if (clean.isEmpty())
        return {};
    const QString field = nameField(clean);
    return encoded(m_quotesNames && !field.startsWith(QLatin1Char('"'))
                       ? QLatin1Char('"') + field + QLatin1Char('"') : field);
}

QByteArray ListDocument::newCardLine(const CardCode &code, const QByteArray &nameField, const QDate &lastDay) const
{
    const QByteArray separator(1, m_separator);
    return "1" + separator + "200" + separator + (nameField.isEmpty() ? QByteArray() : nameField + separator)
        + (lastDay.isValid() ? dayField(lastDay) + separator : QByteArray()) + "BB" + hexCode(code).toLatin1();
}

void ListDocument::setName(int index, const QString &name)
{
    QByteArray &text = m_lines[lineIndexOfCard(index)].text;
    const LineFields f = fieldsOf(text);
    const QByteArray field = nameFieldOf(name);
    if (f.firstSeparator < 0) {
        // "1ABCDEF0123" or "1,BB...": no place for a name; written as the file writes a card.
        text = newCardLine(card(index).code, field, card(index).lastDay);
    } else if (f.secondSeparator >= 0) {   // the name stands between the second field and the day or the code
        const qsizetype from = f.secondSeparator;
        text = field.isEmpty() ? text.left(from) + text.mid(f.nameEnd())
                               : text.left(from + 1) + field + text.mid(f.nameEnd());
    } else if (!field.isEmpty()) {
        text = text.left(f.lastSeparator) + text[f.lastSeparator] + field + text.mid(f.lastSeparator);
    }
    rejudge(index);
}

void ListDocument::setLastDay(int index, const QDate &day)
{
    QByteArray &text = m_lines[lineIndexOfCard(index)].text;
    const LineFields f = fieldsOf(text);
    const QByteArray field = day.isValid() ? dayField(day) : QByteArray();
    if (f.firstSeparator < 0) {   // no fields to put it between: written as the file writes a card
        text = newCardLine(card(index).code, nameFieldOf(card(index).name), day);
    } else if (f.daySeparator >= 0) {
        text = field.isEmpty() ? text.left(f.daySeparator) + text.mid(f.lastSeparator)
                               : text.left(f.daySeparator + 1) + field + text.mid(f.lastSeparator);
    } else if (!field.isEmpty()) {
        text = text.left(f.lastSeparator) + text[f.lastSeparator] + field + text.mid(f.lastSeparator);
    }
    rejudge(index);
}

int ListDocument::addCard(const CardCode &code, const QString &name, const QDate &lastDay)
{
    if (!m_lines.isEmpty() && m_lines.last().end.isEmpty())
        m_lines.last().end = newLineEnd();   // the last line had none: the new card starts a line of its own
    m_lines.append({newCardLine(code, nameFieldOf(name), lastDay), newLineEnd()});
    m_cards.append(int(m_lines.size() - 1));
    m_cardData.append(Card{});
    rejudge(cardCount() - 1);
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
}
