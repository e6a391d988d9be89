#include "app/singleinstance.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray instanceName()
{
    const QByteArray name = qgetenv("VIVADIZUZUD_INSTANCE");
    return name.isEmpty() ? QByteArrayLiteral("vivadizuzud") : name;
}

} // namespace

SingleInstance::SingleInstance() : SingleInstance(instanceName()) {}

SingleInstance::SingleInstance(const QByteArray &name)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = qMin(size_t(name.size()), sizeof(address.sun_path) - 1);
    memcpy(address.sun_path + 1, name.constData(), length);   // leading NUL: abstract namespace
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;   // cannot tell; better to run than to refuse
    const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), size) != 0) {
        // Only a name in use means another instance; any other failure lets this one run.
        m_first = errno != EADDRINUSE;
        ::close(m_fd);
        m_fd = -1;
    }
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
