#include "desktop/stopsignals.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler may only write; the event loop reads.
int g_pipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        emit received();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int StopSignals::pendingFd()
{
    return g_pipe[0];
}

StopSignals::~StopSignals()
{
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &fallback, nullptr);
    m_notifier.reset();
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
