// Time for transfers on the in-process line: a pause passes at once, so the
// line's pace, the reader's pauses and every wait of the transfer cost no real
// time, and a test's outcome never depends on how busy the machine is.
#pragma once

#include "transfer/clock.h"

#include <QDateTime>
#include <algorithm>
#include <functional>

class VirtualClock : public Clock
{
public:
    void sleep(int ms) override
    {
        m_now += ms;
        if (m_stopAt >= 0 && m_now >= m_stopAt) {
            requestStop();
            m_stopAt = -1;
        }
        if (onPause)
            onPause();
    }
    qint64 now() override { return m_now; }
    // Wall time goes on from where the test's earlier clocks left it: snapshots named by it sort in
    // the order they were taken, however fast the machine runs the transfers.
    qint64 wallMs() override
    {
        latestWall() = std::max(latestWall(), m_wallStart + m_now);
        return m_wallStart + m_now;
    }
    QDate today() override { return m_today; }
    void setToday(const QDate &day) { m_today = day; }
    // Ctrl-C at this time on the clock (or at the first pause after it).
    void stopAt(qint64 ms) { m_stopAt = ms; }
    void pass(qint64 ms) { m_now += ms; }   // time that goes by between two programs
    std::function<void()> onPause;   // something that happens while the transfer waits

private:
    qint64 m_now = 0;
    qint64 m_stopAt = -1;
    static qint64 &latestWall()
    {
        static qint64 latest = 0;
        return latest;
    }
    qint64 m_wallStart = std::max(QDateTime::currentMSecsSinceEpoch(), latestWall() + 1);
    QDate m_today = QDate::currentDate();
};
