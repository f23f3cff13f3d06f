#include "GuiObjectCount.h"

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstring>

namespace {
// Where the PEB keeps the address of the GDI handle table.
constexpr size_t GdiTableOffset64 = 0xF8;
constexpr size_t GdiTableOffset32 = 0x94;
// In a 32-bit TEB: how far away the 64-bit TEB of a WoW64 process lies; in a
// 64-bit TEB: the PEB's address.
constexpr size_t WowTebOffsetField = 0xFDC;
constexpr size_t TebPebOffset64 = 0x60;
// Each entry: object (8), owner (4), unique (2), type (1), flags (1), user pointer (8).
constexpr size_t EntrySize = 24;
constexpr size_t TypeOffset = 14;

const uint8_t* ProcessPeb() {
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0) {
        return nullptr;
    }
    return reinterpret_cast<const uint8_t*>(basic.PebBaseAddress);
}

#ifndef _WIN64
// GCC 12 takes the fs-relative read inside NtCurrentTeb for an access to a
// zero-length array and warns; the read is the documented way to the TEB.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const uint8_t* CurrentTeb() {
    return reinterpret_cast<const uint8_t*>(NtCurrentTeb());
}
#pragma GCC diagnostic pop
#endif

const uint8_t* HandleTable() {
    const uint8_t* peb = ProcessPeb();
    if (peb == nullptr) return nullptr;
    const uint8_t* table = nullptr;
#ifdef _WIN64
    std::memcpy(&table, peb + GdiTableOffset64, sizeof table);
#else
    std::memcpy(&table, peb + GdiTableOffset32, sizeof table);
    if (table != nullptr) return table;
    // A 32-bit process under WoW64 also has a 64-bit TEB and PEB; Wine's
    // WoW64 fills in the table's address only in the 64-bit PEB. The 32-bit
    // TEB says where the 64-bit one lies (WowTebOffset, 0 without WoW64).
    const auto* teb = CurrentTeb();
    int32_t wowTebOffset = 0;
    std::memcpy(&wowTebOffset, teb + WowTebOffsetField, sizeof wowTebOffset);
    if (wowTebOffset == 0) return nullptr;
    uint64_t peb64 = 0, table64 = 0;
    std::memcpy(&peb64, teb + wowTebOffset + TebPebOffset64, sizeof peb64);
    if (peb64 == 0 || peb64 > UINT32_MAX) return nullptr;
    std::memcpy(&table64, reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(peb64)) + GdiTableOffset64,
                sizeof table64);
    if (table64 > UINT32_MAX) return nullptr;  // out of this process's reach
    table = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(table64));
#endif
    return table;
}

long CountHandleTableEntries() {
    const uint8_t* table = HandleTable();
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

long GdiObjectsKeptByADestroyedWindowsRegion() {
    auto shapedWindow = [] {
        HWND w = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
        if (w == nullptr) return;
        ShowWindow(w, SW_SHOWNOACTIVATE);  // Wine keeps the region only of a shown window
        HRGN region = CreateRectRgn(0, 0, 5, 5);
        // From here on the window owns the region.
        if (SetWindowRgn(w, region, FALSE) == 0) DeleteObject(region);
        DestroyWindow(w);
    };
    shapedWindow();  // first-use allocations of the window system
    const long before = CountGuiObjects().gdi;
    shapedWindow();
    return CountGuiObjects().gdi - before;
}
