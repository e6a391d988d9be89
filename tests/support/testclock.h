// A clock for transfer tests: time as the transfer sees it runs `scale` times
// faster than the real pauses, so a 12-second wait takes about a second while
// the reader on the other end still gets real time to answer.
#pragma once

#include "transfer/clock.h"

#include <QThread>

class TestClock : public Clock
{
public:
    explicit TestClock(int scale = 10) : m_scale(scale) {}
    void sleep(int ms) override
    {
        QThread::usleep(static_cast<unsigned long>(ms) * 1000 / m_scale);
        m_now += ms;
        m_slept += ms;
    }
    qint64 now() override { return m_now; }
    QDate today() override { return m_today; }
    void setToday(const QDate &day) { m_today = day; }
    qint64 slept() const { return m_slept; }

private:
    int m_scale;
    qint64 m_now = 0;
    qint64 m_slept = 0;
    QDate m_today = QDate::currentDate();
};
