// The faults of a faulty driver, raised as it would raise them: shared by
// the virtual board (VBOARD_FAULT) and the in-process fake driver of the
// request-guard tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "SimulatedBoard.h"

// The values come through volatile objects so that the compiler can neither
// fold the fault away nor turn it into a trap of its own.
[[noreturn]] inline void RaiseDriverFault(FaultKind kind) {
    switch (kind) {
    case FaultKind::Access: {
        const volatile int* volatile nowhere = nullptr;
        static_cast<void>(*nowhere);
        break;
    }
    case FaultKind::Divide: {
        volatile int32_t one = 1, zero = 0;
        volatile int32_t quotient = one / zero;
        static_cast<void>(quotient);
        break;
    }
    case FaultKind::ForeignCxx: {
        // A C++ throw as the platform's usual compiler makes it: its magic
        // number, the thrown object and its type description, and on 64-bit
        // the module those descriptions are relative to.
        static int thrown = 0;
        const ULONG_PTR parameters[] = {0x19930520, reinterpret_cast<ULONG_PTR>(&thrown), 0,
                                        reinterpret_cast<ULONG_PTR>(GetModuleHandleA(nullptr))};
        RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, sizeof(void*) == 8 ? 4 : 3, parameters);
        break;
    }
    }
    std::abort();  // a fault that did not happen still must not return
}
