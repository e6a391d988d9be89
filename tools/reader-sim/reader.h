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

    // Slot k of the memory (written at address 7392 - 6k) is dump block k.
    static int slotOf(int memoryAddress);
    void store(int slot, const CardCode &code, int openingTime);
    QByteArray dump() const { return m_memory; }

    bool loadImage(const QString &path);
    bool saveImage(const QString &path) const;
    int seedFromCodeList(const QString &path, int openingTime);   // cards stored, -1 on error

private:
    QByteArray writeAnswer(QByteArrayView request, quint8 status) const;

    QByteArray m_memory;
    bool m_cardsOnly = false;
};
