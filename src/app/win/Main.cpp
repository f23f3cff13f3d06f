// The entry function: the message pump, the common controls, the one
// application object, and the loop while its panel exists.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <exception>

#include "app/win/GeneratorApp.h"
#include "app/win/MessagePump.h"
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

// The library's own terminate handler names the uncaught exception on the
// standard error stream, which a windowed program does not have, and brings a
// demangler of type names into the executable for that. This one only aborts,
// as the library's does after its message.
void __gnu_cxx::__verbose_terminate_handler() {
    std::abort();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunGenerator();
}
