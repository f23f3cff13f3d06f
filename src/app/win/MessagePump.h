// The main message loop: accelerators first, then dialog keys, then normal
// dispatch; an empty queue ends in WaitMessage.
#pragma once

#include <windows.h>

class MessagePump {
public:
    virtual ~MessagePump() = default;

    // Called whenever the queue is empty; true lets the loop wait for the
    // next message.
    virtual bool OnIdle() { return true; }

    // Runs until WM_QUIT and returns its wParam.
    int Run();

    HACCEL accelerators = nullptr;
    HWND acceleratorTarget = nullptr;
    HWND dialog = nullptr;
    bool waitWhenIdle = true;
    MSG message = {};
};
