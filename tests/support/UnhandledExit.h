// For tests that provoke faults: while one of these lives, a fault that no
// handler takes ends the test process at once (exit code 3) instead of
// leaving it hung in the crash debugger until the test's time runs out.
#pragma once

#include <windows.h>

#include <cstdio>

class ExitOnUnhandledFault {
public:
    ExitOnUnhandledFault() : previous(SetUnhandledExceptionFilter(Exit)) {}
    ~ExitOnUnhandledFault() { SetUnhandledExceptionFilter(previous); }
    ExitOnUnhandledFault(const ExitOnUnhandledFault&) = delete;
    ExitOnUnhandledFault& operator=(const ExitOnUnhandledFault&) = delete;

private:
    static LONG WINAPI Exit(EXCEPTION_POINTERS* fault) {
        std::fprintf(stderr, "unhandled exception 0x%08lx\n", fault->ExceptionRecord->ExceptionCode);
        std::fflush(stderr);
        ExitProcess(3);
    }
    LPTOP_LEVEL_EXCEPTION_FILTER previous;
};
