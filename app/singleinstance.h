// One running program per machine, for all users. An abstract-namespace
// socket: nothing is left behind by a crash, and no file permissions between
// users get in the way.
#pragma once

#include <QByteArray>

class SingleInstance
{
public:
    // The name comes from VIVADIZUZUD_INSTANCE when set (tests run apart that way).
    SingleInstance();
    explicit SingleInstance(const QByteArray &name);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    bool isFirst() const { return m_first; }

private:
    int m_fd = -1;
    bool m_first = true;
};
