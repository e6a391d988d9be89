// A code list as a document to edit: every line of the file kept as it was
// (the header, other lines, blank lines, their line ends and a byte-order
// mark), its card lines with names that can be changed, cards added and
// removed, and the whole written back so that nothing else moves. Saving
// writes a new file beside the old one and renames it over: never a
// half-written list.
#pragma once

#include "transfer/codelist.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class ListDocument
{
public:
    struct Card {
        CardCode code{};
        QString name;
    };

    // A new, empty list that will be saved under path.
    void clear(const QString &path = QString());
    // Reads the file. A list with card lines that say no code (malformed) is
    // read only: it cannot be saved, as an edit would have to guess them.
    FileFault load(const QString &path);
    // Writes the document to its file (or to path), and it is then saved.
    FileFault save(const QString &path = QString());

    QString path() const { return m_path; }
    bool isModified() const { return m_modified; }
    bool isReadOnly() const { return m_judged.malformed.count > 0; }
    // How the file was judged when it was read: malformed and suspicious lines.
    const CodeList &judged() const { return m_judged; }

    int cardCount() const { return int(m_cards.size()); }
    Card card(int index) const;
    qint64 lineOf(int index) const;   // numbered from 1
    std::optional<int> find(const CardCode &code) const;

    void setName(int index, const QString &name);
    // Appended as a readout writes a card, with the name between: 1,200,NAME,BB<code>.
    int addCard(const CardCode &code, const QString &name);
    // A removed card line as it stood, to be put back where it was.
    struct RemovedCard {
        int line = 0;
        QByteArray text, end;
    };
    RemovedCard removeCard(int index);
    void insertCard(int index, const RemovedCard &card);

private:
    struct Line {
        QByteArray text;
        QByteArray end;   // as it was read; empty for the last line without one
    };
    int lineIndexOfCard(int index) const { return m_cards[index]; }
    void rejudge(int index);
    QByteArray encoded(const QString &text) const;
    QByteArray newLineEnd() const;

    QString m_path;
    QList<Line> m_lines;
    QList<int> m_cards;   // the lines that are cards, in file order
    QList<Card> m_cardData;   // and what they say
    bool m_byteOrderMark = false;
    bool m_utf8 = true;   // else the Central European Windows code page, as spreadsheets export it
    bool m_modified = false;
    CodeList m_judged;
};

// Writes bytes to path whole: a new file beside it, synced, renamed over it.
FileFault replaceFile(const QString &path, const QByteArray &bytes);
