// The reader model on the far end of a line inside the same process, on the
// transfer's own clock: what the reader sends arrives at the pace of a 9600 8N1
// line as that clock passes, so a test sees whole dumps, pauses and stalls in
// no real time at all, the same on a busy machine as on an idle one.
#pragma once

#include "serial/line.h"
#include "tools/reader-sim/readermodel.h"

#include <QStringList>
#include <deque>

class Clock;

// The reader itself, with its memory and its wire: it goes on sending what it
// began whether or not a line is open to hear it, as a reader on a cable does.
class SimulatedReader
{
public:
    // options: the simulator's own (--image, --layout, --hangup-after-write ...).
    explicit SimulatedReader(Clock &clock, const QStringList &options = {});

    ReaderModel model;
    QString fault() const { return m_fault; }   // options it could not take
    QStringList requests() const { return m_requests; }   // each as "01 00 ... 21"
    bool hungUp() const { return m_hungUpAt >= 0 && m_hungUpAt <= nowUs(); }

private:
    friend class InProcessLine;
    qint64 nowUs() const;
    void hear(const QByteArray &bytes);
    QByteArray arrived();   // what has come down the wire by now
    void dropArrived() { arrived(); }
    void schedule(const Reply &reply, qint64 fromUs);

    Clock &m_clock;
    QString m_fault;
    QStringList m_requests;
    QByteArray m_pending;   // the start of a request still coming
    std::deque<std::pair<qint64, char>> m_wire;   // bytes on their way, with when they arrive
    qint64 m_busyUntil = 0;   // when the reader is done with the answer it is sending
    qint64 m_hungUpAt = -1;
};

class InProcessLine : public Line
{
public:
    // Opened at once; what the reader said before now went to nobody.
    explicit InProcessLine(SimulatedReader &reader);

    bool isOpen() const override { return m_open && !lineLost(); }
    bool lineLost() const override;
    int bytesWaiting() override;
    QByteArray read(int count) override;
    void clearReceiveBuffer() override;
    bool send(const QByteArray &bytes) override;
    QString name() const override { return QStringLiteral("/dev/in-process-reader"); }
    void close() override;

private:
    SimulatedReader &m_reader;
    QByteArray m_received;
    bool m_open = true;
};
