#pragma once

#include "board/boardsession.h"

#include <QList>

#include <functional>

// A waiter that does not wait: it records each pause asked for and may run
// something in its place (what the user does while a command waits).
// Returning false from onWait stops the command as quitting would.
class FakeWaiter : public Waiter
{
public:
    bool wait(int ms) override
    {
        waits.append(ms);
        return onWait ? onWait(int(waits.size())) : true;
    }
    QList<int> waits;
    // Called with the number of the pause (1 for the first).
    std::function<bool(int pause)> onWait;
};
