#include "tools/reader-sim/reader.h"
#include "transfer/codelist.h"

#include <QFile>

namespace {

// The records the program writes are the slots the reader has.
constexpr int TopAddress = FirstWriteAddress;
constexpr int SlotSpacing = RecordSpacing;
constexpr int Slots = ReaderCapacity;

} // namespace

Reader::Reader() : m_memory(DumpLength, char(0xFF))
{
    for (int block = 0; block < DumpLength / DumpBlockLength; ++block)
        m_memory[block * DumpBlockLength] = char(block & 0xFF);
}

int Reader::blockOf(int memoryAddress) const
{
    if (memoryAddress < 0 || memoryAddress > TopAddress || (TopAddress - memoryAddress) % SlotSpacing)
        return -1;
    const int block = m_offset + (m_layout == Layout::TopDown ? (TopAddress - memoryAddress) : memoryAddress) / SlotSpacing;
    return block < DumpExaminedBlocks ? block : -1;
}

void Reader::store(int block, const CardCode &code, int openingTime)
{
    const int at = block * DumpBlockLength;
    for (int i = 0; i < 5; ++i)
        m_memory[at + 1 + i] = char(code[i]);
    m_memory[at + 6] = char(openingTime);
}

QByteArray Reader::writeAnswer(QByteArrayView request, quint8 status) const
{
    QByteArray answer(WriteAnswerLength, '\0');
    for (int i = 0; i < 10 && i < request.size(); ++i)
        answer[i] = request[i];
    answer[12] = char(status);
    int sum = 0;
    for (int i = 0; i < 14; ++i)
        sum += quint8(answer[i]);
    answer[14] = char(sum & 0xFF);
    return answer;
}

Reader::Answer Reader::handle(QByteArrayView request, bool refuse)
{
    Answer answer;
    RequestBytes bytes{};
    for (int i = 0; i < 10 && i < request.size(); ++i)
        bytes[i] = quint8(request[i]);
    const bool intact = request.size() == RequestLength && checksum(bytes) == quint8(request[10]);
    if (intact && bytes[9] == ReadMemory) {
        answer.isDump = true;
        answer.bytes = m_memory;
        return answer;
    }
    const int block = blockOf(bytes[7] << 8 | bytes[8]);
    const bool card = bytes[6] >= MinOpeningTime && bytes[6] <= MaxOpeningTime;
    if (intact && bytes[9] == WriteRecord && block >= 0 && !refuse && (card || !m_cardsOnly)) {
        store(block, {quint8(bytes[1]), quint8(bytes[2]), quint8(bytes[3]), quint8(bytes[4]), quint8(bytes[5])},
              bytes[6]);
        answer.accepted = true;
    }
    answer.bytes = writeAnswer(request, answer.accepted ? RecordTaken : Refused);
    return answer;
}

bool Reader::loadImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray image = file.read(DumpLength);
    m_memory.replace(0, image.size(), image);
    return true;
}

bool Reader::saveImage(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(m_memory) == m_memory.size() && file.flush();
}

int Reader::seedFromCodeList(const QString &path, int openingTime)
{
    CodeListReader list;
    if (list.open(path) != FileFault::None)
        return -1;
    // As an upload would have put them: from the top address down.
    int slot = 0;
    QByteArray line;
    while (slot < Slots && list.readLine(line)) {
        if (const ListLine judged = judgeLine(line); judged.kind == ListLine::Card)
            store(blockOf(TopAddress - SlotSpacing * slot++), judged.code, openingTime);
    }
    return slot;
}
