#include "app/singleinstance.h"

#include <QDeadlineTimer>
#include <QList>
#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// What a running copy says to a new one.
constexpr char Greeting[] = "vivadizuzud\n";
constexpr qsizetype GreetingLength = sizeof Greeting - 1;
// A copy greets at once; the whole check never takes longer than this, whatever
// else holds the names and however slowly it talks.
constexpr int CheckLimitMs = 2000;
// The first name and this many more derived from it ("vivadizuzud.2" ...).
constexpr int Names = 8;

QByteArray instanceName()
{
    const QByteArray name = qgetenv("VIVADIZUZUD_INSTANCE");
    return name.isEmpty() ? QByteArrayLiteral("vivadizuzud") : name;
}

QList<QByteArray> namesFrom(const QByteArray &first)
{
    QList<QByteArray> names{first};
    for (int i = 2; i <= Names; ++i)
        names.append(first + '.' + QByteArray::number(i));
    return names;
}

socklen_t abstractAddress(const QByteArray &name, sockaddr_un &address)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    const size_t length = qMin(size_t(name.size()), sizeof(address.sun_path) - 1);
    memcpy(address.sun_path + 1, name.constData(), length);   // leading NUL: abstract namespace
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
}

} // namespace

// Who is on each name, all asked at once: nothing waits on one connection (a
// listener that never accepts, or one that talks slowly), and the answers
// share one time limit. A name that does not greet in time is held by a stranger.
QList<SingleInstance::Listener> SingleInstance::listenersOn(const QList<QByteArray> &names, const QDeadlineTimer &deadline)
{
    QList<Listener> listeners(names.size(), Listener::Nobody);
    QList<int> fds(names.size(), -1);
    QList<QByteArray> heard(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            continue;
        sockaddr_un address;
        const socklen_t size = abstractAddress(names[i], address);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 || errno == EINPROGRESS) {
            fds[i] = fd;
            listeners[i] = Listener::Stranger;   // until it greets
            continue;
        }
        // A full backlog: something listens there and does not take its callers.
        if (errno == EAGAIN)
            listeners[i] = Listener::Stranger;
        ::close(fd);
    }
    for (;;) {
        QList<pollfd> waiting;
        QList<qsizetype> which;
        for (qsizetype i = 0; i < fds.size(); ++i) {
            if (fds[i] >= 0) {
                waiting.append({fds[i], POLLIN, 0});
                which.append(i);
            }
        }
        if (waiting.isEmpty() || deadline.hasExpired())
            break;
        if (m_stopFd >= 0)
            waiting.append({m_stopFd, POLLIN, 0});
        const int ready = ::poll(waiting.data(), nfds_t(waiting.size()), int(deadline.remainingTime()));
        if (ready < 0 && errno != EINTR)
            break;
        if (m_stopFd >= 0 && (waiting.last().revents & POLLIN)) {
            m_stopped = true;
            break;
        }
        for (qsizetype k = 0; k < which.size(); ++k) {
            const qsizetype i = which[k];
            if (!waiting[k].revents)
                continue;
            char buffer[GreetingLength];
            const ssize_t n = ::read(fds[i], buffer, size_t(GreetingLength - heard[i].size()));
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n > 0)
                heard[i].append(buffer, n);
            const bool whole = heard[i].size() == GreetingLength;
            if (n <= 0 || whole || !QByteArray(Greeting).startsWith(heard[i])) {
                if (whole && heard[i] == Greeting)
                    listeners[i] = Listener::Copy;
                ::close(fds[i]);
                fds[i] = -1;
            }
        }
        if (listeners.contains(Listener::Copy))
            break;
    }
    for (int fd : fds) {
        if (fd >= 0)
            ::close(fd);
    }
    return listeners;
}

SingleInstance::SingleInstance(int stopFd) : SingleInstance(instanceName(), stopFd) {}

SingleInstance::SingleInstance(const QByteArray &name, int stopFd) : m_stopFd(stopFd)
{
    const QDeadlineTimer deadline(CheckLimitMs);
    const QList<QByteArray> names = namesFrom(name);
    const QList<Listener> listeners = listenersOn(names, deadline);
    if (listeners.contains(Listener::Copy)) {
        m_first = false;
        return;
    }
    for (int i = 0; i < names.size() && !m_stopped; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;   // cannot tell; better to run than to refuse
        sockaddr_un address;
        const socklen_t size = abstractAddress(names[i], address);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 && ::listen(fd, 16) == 0
            && ::pipe2(m_stop, O_CLOEXEC) == 0) {
            m_listener = fd;
            m_greeter = std::thread(&SingleInstance::greetUntilStopped, this);
            return;
        }
        const int error = errno;
        ::close(fd);
        if (error != EADDRINUSE)
            return;
        // Taken since it was asked: by a copy starting at the same moment, or by something else.
        if (listeners[i] != Listener::Stranger
            && listenersOn({names[i]}, deadline).value(0) == Listener::Copy) {
            m_first = false;
            return;
        }
    }
    // Every name is held by something that is not this program: run anyway.
}

SingleInstance::~SingleInstance()
{
    if (m_greeter.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_stop[1], &stop, 1);
        m_greeter.join();
    }
    for (int fd : {m_listener, m_stop[0], m_stop[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

// Runs on a thread of its own, so a copy is found even while the window is
// busy with a transfer or a dialog.
void SingleInstance::greetUntilStopped()
{
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int peer = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0)
            continue;
        ::send(peer, Greeting, sizeof Greeting - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(peer);
    }
}
