// A window's clock: a pause keeps the event loop turning, so the window
// stays painted and the desktop does not take it for hung.
#pragma once

#include "transfer/clock.h"

class LiveClock : public SystemClock
{
public:
    void sleep(int ms) override;
};
