// The entry function: the message pump, the common controls, the one
// application object, and the loop while its panel exists.
#include <windows.h>
#include <commctrl.h>

#include "app/GeneratorApp.h"
#include "app/MessagePump.h"
#include "resources/resource.h"

namespace {
// Exit code when no panel could be created.
constexpr int NoPanel = -2;

int RunGenerator() {
    MessagePump pump;
    pump.accelerators = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    InitCommonControls();  // the panel's trackbars and up-down controls

    GeneratorApp app;
    if (!app.window) return NoPanel;
    pump.acceleratorTarget = app.window;
    pump.dialog = app.window;
    return pump.Run();
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunGenerator(); }
