// The request guard. A frame-based structured-exception handler is put around
// the guarded call alone, by a small trampoline written per architecture
// (x86_64: the handler named in the trampoline's unwind information; i686: a
// registration record pushed on the fs:[0] chain). Being frame-based, it sees
// an exception only after every deeper handler, the driver's own included,
// has declined it, so a driver that raises and handles exceptions inside
// keeps them; a vectored or process-wide handler would take them first.
// MinGW's catch (...) catches none of the structured or foreign exceptions
// (the i686 compilers unwind by DWARF tables and see nothing of them), so our
// own C++ exceptions are caught in C++ inside the trampoline, and everything
// else by the handler, which unwinds to the trampoline's resume point.
#include <windows.h>

#include "device/win/RequestGuard.h"

namespace {
struct GuardedRequest {
    void (*request)(void*);
    void* context;
    bool thrown = false;
};
}  // namespace

// The body and the handlers are named only in the trampolines' assembly,
// which whole-program optimisation does not read: "used" keeps them.
extern "C" {
// The trampoline: calls request(context) with the handler in place and
// returns 1, or 0 when the handler caught an exception.
int GuardedCall(void (*request)(void*), void* context);
[[gnu::used]] void GuardedRequestBody(void* guarded);
}

void GuardedRequestBody(void* guarded) {
    auto& call = *static_cast<GuardedRequest*>(guarded);
    try {
        call.request(call.context);
    } catch (...) {
        call.thrown = true;
    }
}

#if defined(__x86_64__)
extern "C" {
void GuardResume();
[[gnu::used]] EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                 DISPATCHER_CONTEXT* dispatch);
}

// Reached only while an exception is dispatched (the trampoline names it for
// exceptions, not for unwinding): unwind the deeper frames (their own unwind
// handlers are called; GCC's run no destructors for a foreign exception) and
// go on at the trampoline's resume point, which returns 0.
EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                   DISPATCHER_CONTEXT* dispatch) {
    RtlUnwindEx(frame, reinterpret_cast<void*>(&GuardResume), record, nullptr, context,
                dispatch->HistoryTable);
    return ExceptionContinueSearch;  // not reached: RtlUnwindEx resumes at GuardResume
}

// rcx = request, rdx = context. The frame holds only the callee's shadow
// space; the resume point leaves it exactly as the normal return does.
asm(R"(
    .text
    .globl  GuardedCall
    .globl  GuardResume
    .def    GuardedCall; .scl 2; .type 32; .endef
    .seh_proc GuardedCall
GuardedCall:
    subq    $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler GuardHandler, @except
    movq    %rcx, %rax
    movq    %rdx, %rcx
    callq   *%rax
    movl    $1, %eax
    addq    $40, %rsp
    retq
GuardResume:
    xorl    %eax, %eax
    addq    $40, %rsp
    retq
    .seh_endproc
)");

#elif defined(__i386__)
// The registration record as the trampoline pushes it: the chain link and
// the handler, then the frame pointer to resume with. The image carries no
// table of registered handlers (no load configuration), so the system accepts
// a handler anywhere in its code.
struct GuardRecord {
    GuardRecord* next;
    void* handler;
    void* framePointer;
};

extern "C" {
[[noreturn]] void GuardUnwindAndResume(GuardRecord* frame, EXCEPTION_RECORD* record);
[[gnu::used]] EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, GuardRecord* frame,
                                                         CONTEXT*, void*);
}

// Reached while an exception is dispatched and while one unwinds; only the
// first is ours to act on.
EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, GuardRecord* frame, CONTEXT*, void*) {
    if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
    GuardUnwindAndResume(frame, record);
}

// Stack inside the call: [esp] = record.next, +4 = handler, +8 = saved ebp,
// then the saved edi, esi, ebx, ebp and the return address.
asm(R"(
    .text
    .globl  _GuardedCall
    .globl  _GuardUnwindAndResume
    .def    _GuardedCall; .scl 2; .type 32; .endef
_GuardedCall:
    pushl   %ebp
    movl    %esp, %ebp
    pushl   %ebx
    pushl   %esi
    pushl   %edi
    pushl   %ebp
    pushl   $_GuardHandler
    pushl   %fs:0
    movl    %esp, %fs:0
    pushl   12(%ebp)
    calll   *8(%ebp)
    addl    $4, %esp
    movl    $1, %eax
GuardLeave:
    popl    %fs:0
    addl    $8, %esp
    popl    %edi
    popl    %esi
    popl    %ebx
    popl    %ebp
    retl
# Unwinds the records deeper than ours (their handlers see the unwind; the
# chain then ends at our record) and resumes in the trampoline with the stack
# and frame pointer it had beside the record. RtlUnwind may leave ebx, esi
# and edi changed, so nothing is kept in them across it.
_GuardUnwindAndResume:
    movl    4(%esp), %eax
    movl    8(%esp), %ecx
    pushl   $0
    pushl   %ecx
    pushl   $0
    pushl   %eax
    calll   _RtlUnwind@16
    movl    4(%esp), %esp
    movl    8(%esp), %ebp
    movl    %esp, %fs:0
    xorl    %eax, %eax
    jmp     GuardLeave
)");
#else
#error "the request guard has a trampoline for x86_64 and i686 only"
#endif

bool CallGuarded(void (*request)(void*), void* context) {
    GuardedRequest call{request, context};
    return GuardedCall(&GuardedRequestBody, &call) != 0 && !call.thrown;
}
