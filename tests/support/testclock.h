// A clock for transfer tests: time as the transfer sees it runs `scale` times
// faster than the real pauses, so a 12-second wait takes about a second while
// the reader on the other end still gets real time to answer. With settled
// set, time stands still until the reader is done with what it was sent: a
// busy machine may starve the simulator, and that must not read as a reader
// that never answered.
#pragma once

#include "transfer/clock.h"

#include <QDeadlineTimer>
#include <QThread>
#include <functional>

class TestClock : public Clock
{
public:
    explicit TestClock(int scale = 10) : m_scale(scale) {}
    void sleep(int ms) override
    {
        QThread::usleep(static_cast<unsigned long>(ms) * 1000 / m_scale);
        if (settled && !m_gaveUp) {
            QDeadlineTimer limit(SettleLimitMs);
            while (!settled() && !(m_gaveUp = limit.hasExpired()))
                QThread::usleep(500);
        }
        m_now += ms;
        m_slept += ms;
    }
    qint64 now() override { return m_now; }
    QDate today() override { return m_today; }
    void setToday(const QDate &day) { m_today = day; }
    qint64 slept() const { return m_slept; }
    std::function<bool()> settled;

private:
    static constexpr int SettleLimitMs = 20000;   // once: a frame the reader never takes in
    int m_scale;
    bool m_gaveUp = false;
    qint64 m_now = 0;
    qint64 m_slept = 0;
    QDate m_today = QDate::currentDate();
};
