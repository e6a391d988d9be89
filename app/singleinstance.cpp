#include "app/singleinstance.h"

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
// The greeter answers at once; a name that says nothing this long is not ours.
constexpr int GreetingWaitMs = 1000;
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

// Who is on a name: a copy of this program greets as soon as asked.
enum class Listener { Nobody, Copy, Stranger };

Listener listenerOn(const QByteArray &name)
{
    sockaddr_un address;
    const socklen_t size = abstractAddress(name, address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Listener::Nobody;
    QByteArray heard;
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), size) == 0;
    if (connected) {
        pollfd pfd{fd, POLLIN, 0};
        char buffer[sizeof Greeting];
        while (heard.size() < qsizetype(sizeof Greeting) - 1 && ::poll(&pfd, 1, GreetingWaitMs) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof Greeting - 1 - size_t(heard.size()));
            if (n <= 0)
                break;
            heard.append(buffer, n);
        }
    }
    ::close(fd);
    return heard == Greeting ? Listener::Copy : connected ? Listener::Stranger : Listener::Nobody;
}

} // namespace

SingleInstance::SingleInstance() : SingleInstance(instanceName()) {}

SingleInstance::SingleInstance(const QByteArray &name)
{
    const QList<QByteArray> names = namesFrom(name);
    QList<Listener> listeners;
    for (const QByteArray &candidate : names) {
        listeners.append(listenerOn(candidate));
        if (listeners.last() == Listener::Copy) {
            m_first = false;
            return;
        }
    }
    for (int i = 0; i < names.size(); ++i) {
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
        if (listeners[i] != Listener::Stranger && listenerOn(names[i]) == Listener::Copy) {
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
