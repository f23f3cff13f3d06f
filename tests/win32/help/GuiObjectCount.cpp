#include "GuiObjectCount.h"

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstring>

namespace {
// Where the PEB keeps the address of the GDI handle table.
#ifdef _WIN64
constexpr size_t GdiTableOffset = 0xF8;
#else
constexpr size_t GdiTableOffset = 0x94;
#endif
// Each entry: object (8), owner (4), unique (2), type (1), flags (1), user pointer (8).
constexpr size_t EntrySize = 24;
constexpr size_t TypeOffset = 14;

long CountHandleTableEntries() {
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0) {
        return -1;
    }
    const auto* peb = reinterpret_cast<const uint8_t*>(basic.PebBaseAddress);
    const uint8_t* table = nullptr;
    std::memcpy(&table, peb + GdiTableOffset, sizeof table);
    if (table == nullptr) return -1;
    // Only the committed part of the table is read.
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(table, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) return -1;
    const uint8_t* end = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
    long live = 0;
    for (const uint8_t* entry = table; entry + EntrySize <= end; entry += EntrySize) {
        if (entry[TypeOffset] != 0) ++live;
    }
    return live;
}

struct WindowTally {
    DWORD process;
    long count;
};

BOOL CALLBACK CountChild(HWND window, LPARAM tally) {
    auto* t = reinterpret_cast<WindowTally*>(tally);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == t->process) ++t->count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM tally) {
    CountChild(window, tally);
    EnumChildWindows(window, CountChild, tally);  // all descendants
    return TRUE;
}

long CountWindows() {
    WindowTally tally{GetCurrentProcessId(), 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&tally));
    // Message-only windows are not enumerated with the others.
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) {
        CountTopLevel(w, reinterpret_cast<LPARAM>(&tally));
    }
    return tally.count;
}
}  // namespace

GuiObjectCount CountGuiObjects() {
    GuiObjectCount count;
    count.gdi = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    count.gdiSource = "GetGuiResources";
    if (count.gdi == 0) {
        count.gdi = CountHandleTableEntries();
        count.gdiSource = "GDI handle table";
    }
    count.user = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    count.userSource = "GetGuiResources";
    if (count.user == 0) {
        count.user = CountWindows();
        count.userSource = "window enumeration";
    }
    return count;
}
