#include "app/win/MessagePump.h"

int MessagePump::Run() {
    for (;;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (OnIdle() && waitWhenIdle) WaitMessage();
            continue;
        }
        if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
        // Accelerators before dialog keys: F2 reaches the panel even while a
        // child control has the keyboard focus.
        if (acceleratorTarget && accelerators &&
            TranslateAcceleratorA(acceleratorTarget, accelerators, &message))
            continue;
        if (dialog && IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
