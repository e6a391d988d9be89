// One running program per machine, for all users. A running copy listens on an
// abstract-namespace socket name and greets whoever connects: nothing is left
// behind by a crash, and no file permissions between users get in the way.
// Any program may bind such a name, so a name counts only when it greets: a
// name held by something else moves the program to the next of a few names
// derived from the first, where copies of it still find each other.
#pragma once

#include <QByteArray>
#include <QList>
#include <thread>

class QDeadlineTimer;

class SingleInstance
{
public:
    // The name comes from VIVADIZUZUD_INSTANCE when set (tests run apart that way).
    // The check looks at stopFd too: once it can be read (a stop signal came),
    // the check ends at once and stopped() says so.
    explicit SingleInstance(int stopFd = -1);
    explicit SingleInstance(const QByteArray &name, int stopFd = -1);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    bool isFirst() const { return m_first; }
    bool stopped() const { return m_stopped; }

private:
    enum class Listener { Nobody, Copy, Stranger };
    QList<Listener> listenersOn(const QList<QByteArray> &names, const QDeadlineTimer &deadline);
    void greetUntilStopped();

    int m_stopFd = -1;
    bool m_stopped = false;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};   // written to end the greeter
    std::thread m_greeter;
    bool m_first = true;
};
