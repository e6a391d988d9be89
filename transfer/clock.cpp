#include "transfer/clock.h"

#include <QThread>

void SystemClock::sleep(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}
