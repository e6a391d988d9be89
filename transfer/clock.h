// Time as the transfers see it: pauses and a millisecond clock. The window
// pauses in a way that keeps itself painted; tests pause faster than real time.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>
#include <QElapsedTimer>

class Clock
{
public:
    virtual ~Clock() = default;
    virtual void sleep(int ms) = 0;
    virtual qint64 now() = 0;   // milliseconds, from an arbitrary start
    // Milliseconds since the epoch, for what another program reads later (the dump note).
    virtual qint64 wallMs() { return QDateTime::currentMSecsSinceEpoch(); }
    QDateTime wallTime() { return QDateTime::fromMSecsSinceEpoch(wallMs(), QTimeZone::utc()); }
    // The day by the machine's local calendar: a card is expired after its last day.
    virtual QDate today() { return QDate::currentDate(); }
    // True once the transfer was asked to stop (Ctrl-C, the session ending);
    // a transfer looks at it whenever it pauses.
    virtual bool stopRequested() { return m_stopRequested; }
    void requestStop() { m_stopRequested = true; }
    // For a window that starts another transfer after one was cancelled.
    void clearStop() { m_stopRequested = false; }

private:
    bool m_stopRequested = false;
};

// Plain blocking pauses.
class SystemClock : public Clock
{
public:
    SystemClock() { m_elapsed.start(); }
    void sleep(int ms) override;
    qint64 now() override { return m_elapsed.elapsed(); }

private:
    QElapsedTimer m_elapsed;
};
