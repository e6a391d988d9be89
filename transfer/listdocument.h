// A code list as a document to edit: every line of the file kept as it was
// (the header, other lines of any length, blank lines, their line ends and a
// byte-order mark), its card lines with names that can be changed, cards added
// in the file's own style and removed, and the whole written back so that
// nothing else moves. The file is the person's, and others may change it
// while it is open: what was read is remembered, and a save writes only the
// file that was read (see writeOver).
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
        QDate lastDay;   // null: valid for ever
    };

    // A new, empty list that will be saved under path.
    void clear(const QString &path = QString());
    // Reads the file. A list with card lines that say no code (malformed) is
    // read only: it cannot be saved, as an edit would have to guess them.
    FileFault load(const QString &path);
    // A list from bytes rather than from its file: an earlier run's unsaved
    // edits to the file at path, which was as stamp says when they began (an
    // invalid stamp: no file yet). The document holds them, unsaved.
    void loadBytes(const QString &path, const FileStamp &stamp, const QByteArray &bytes);
    // Writes the document over the file it was read from (a new one when it
    // was never saved), and it is then saved. keptCopy: see writeOver.
    FileFault save(QString *keptCopy = nullptr);
    // Writes it under another name (an existing file there is written over as
    // its own would be), which is its name from then on.
    FileFault saveAs(const QString &path, QString *keptCopy = nullptr);

    // What became of the file since it was read or last saved.
    DiskChange diskChange() const;
    // The file as it now is becomes what the document was read from: a save
    // then writes over the changes others made (or makes a file that went
    // anew). Only for the same file.
    bool takeDiskAsRead();

    QString path() const { return m_path; }
    bool isReadOnly() const { return m_judged.malformed.count > 0; }
    // How the file was judged when it was read: malformed and suspicious lines.
    const CodeList &judged() const { return m_judged; }
    // The list as it stands now, judged as a sync would judge the saved file.
    CodeList codeList() const;
    QByteArray bytes() const;
    const FileStamp &stamp() const { return m_stamp; }

    int cardCount() const { return int(m_cards.size()); }
    Card card(int index) const;
    qint64 lineOf(int index) const;   // numbered from 1
    std::optional<int> find(const CardCode &code) const;

    void setName(int index, const QString &name);
    // The day as a field of its own before the code; a null day takes it out.
    void setLastDay(int index, const QDate &day);
    // Appended as the file's card lines are written (its separator, quoting and
    // line end), with the name and the last day before the code:
    // 1,200,NAME,2027-03-31,BB<code>.
    int addCard(const CardCode &code, const QString &name, const QDate &lastDay = QDate());
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
    void parse(const QByteArray &bytes);
    void rejudge(int index);
    QByteArray encoded(const QString &text) const;
    QByteArray nameFieldOf(const QString &name) const;
    QByteArray newCardLine(const CardCode &code, const QByteArray &nameField, const QDate &lastDay) const;
    QByteArray newLineEnd() const;

    QString m_path;
    FileStamp m_stamp;   // what was read or last written; invalid for a list never saved
    QList<Line> m_lines;
    QList<int> m_cards;   // the lines that are cards, in file order
    QList<Card> m_cardData;   // and what they say
    bool m_byteOrderMark = false;
    bool m_utf8 = true;   // else the Central European Windows code page, as spreadsheets export it
    char m_separator = ',';   // as the file's card lines have it
    bool m_quotesNames = false;   // the file's card lines quote every name
    CodeList m_judged;
};
