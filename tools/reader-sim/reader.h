// The card reader's side of the protocol: a code memory of 1366 blocks, write
// requests stored into it, read requests answered with all of it.
#pragma once

#include "serial/frames.h"

#include <QByteArray>
#include <QString>

class Reader
{
public:
    static constexpr quint8 Refused = 0x15;

    Reader();

    struct Answer {
        bool isDump = false;
        bool accepted = false;   // for a write
        QByteArray bytes;
    };
    // Answers one 11-byte request. A bad checksum, an unknown command or a
    // write address off the record grid is refused.
    Answer handle(QByteArrayView request, bool refuse = false);
    // A reader that takes cards only: a record whose opening time is no
    // card's (0, or above 127, as an erased slot's 0xFF) is refused.
    void takeCardsOnly() { m_cardsOnly = true; }

    // Where a write address lands in the dump. The reader's own business, and
    // not the same for every reader: top-down puts address 7392 first (dump
    // block offset + 0, then 7386 at offset + 1 ...), bottom-up puts address 0
    // first (block offset + address / 6).
    enum class Layout { TopDown, BottomUp };
    void setLayout(Layout layout, int offset) { m_layout = layout; m_offset = offset; }
    int blockOf(int memoryAddress) const;   // -1: not an address a record is written to
    void store(int block, const CardCode &code, int openingTime);
    QByteArray dump() const { return m_memory; }

    bool loadImage(const QString &path);
    bool saveImage(const QString &path) const;
    int seedFromCodeList(const QString &path, int openingTime);   // cards stored, -1 on error

private:
    QByteArray writeAnswer(QByteArrayView request, quint8 status) const;

    QByteArray m_memory;
    bool m_cardsOnly = false;
    Layout m_layout = Layout::TopDown;
    int m_offset = 0;
};
