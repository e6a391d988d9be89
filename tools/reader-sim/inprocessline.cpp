#include "tools/reader-sim/inprocessline.h"
#include "transfer/clock.h"

#include <QCommandLineParser>

namespace {

// A byte at 9600 8N1: ten bits.
constexpr double ByteUs = 10 * 1e6 / 9600;

QString hexLine(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

} // namespace

SimulatedReader::SimulatedReader(Clock &clock, const QStringList &options) : m_clock(clock)
{
    QCommandLineParser parser;
    addReaderOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("reader")} + options))
        m_fault = parser.errorText();
    else
        m_fault = applyReaderOptions(parser, model);
}

qint64 SimulatedReader::nowUs() const
{
    return m_clock.now() * 1000;
}

void SimulatedReader::hear(const QByteArray &bytes)
{
    m_pending += bytes;
    while (m_pending.size() >= RequestLength) {
        const QByteArray request = m_pending.left(RequestLength);
        m_pending.remove(0, RequestLength);
        m_requests.append(hexLine(request));
        // One request at a time: the next is taken once the answer before it is out.
        schedule(model.answer(request), qMax(nowUs(), m_busyUntil));
    }
}

void SimulatedReader::schedule(const Reply &reply, qint64 fromUs)
{
    double at = double(fromUs) + reply.thinkMs * 1000.0;
    for (const Reply::Piece &piece : reply.pieces) {
        at += piece.gapMs * 1000.0;
        for (const char byte : piece.bytes) {
            at += ByteUs;
            m_wire.emplace_back(qint64(at), byte);
        }
    }
    m_busyUntil = qint64(at);
    if (reply.hangUp)
        m_hungUpAt = m_busyUntil;
}

QByteArray SimulatedReader::arrived()
{
    QByteArray bytes;
    const qint64 now = nowUs();
    while (!m_wire.empty() && m_wire.front().first <= now) {
        bytes += m_wire.front().second;
        m_wire.pop_front();
    }
    return bytes;
}

InProcessLine::InProcessLine(SimulatedReader &reader) : m_reader(reader)
{
    m_reader.dropArrived();
}

bool InProcessLine::lineLost() const
{
    return m_reader.hungUp();
}

int InProcessLine::bytesWaiting()
{
    if (m_open)
        m_received += m_reader.arrived();
    return int(m_received.size());
}

QByteArray InProcessLine::read(int count)
{
    bytesWaiting();
    const QByteArray taken = m_received.left(count);
    m_received.remove(0, taken.size());
    return taken;
}

void InProcessLine::clearReceiveBuffer()
{
    bytesWaiting();
    m_received.clear();
}

bool InProcessLine::send(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    m_reader.hear(bytes);
    return true;
}

void InProcessLine::close()
{
    if (m_open)
        m_reader.dropArrived();
    m_open = false;
    m_reader.m_pending.clear();   // a request cut off by the close is never finished
    m_received.clear();
}
