// The engine's way to the main thread, through Qt's event loop: a posted task
// runs on the GUI thread as soon as the loop (or a modal dialog's nested
// loop) handles events.
#pragma once

#include "WorkerThread.h"

class TQtDispatcher : public TMainThreadDispatcher
{
public:
    void Post(std::function<void()> Task) override;
};
