// Holds one hidden window and waits until the rig ends the Wine session.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "QorvelRigKeeper";
    RegisterClassA(&wc);
    CreateWindowExA(0, wc.lpszClassName, "rig keeper", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, instance,
                    nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
