// The main loop with real messages: what it does with an empty queue.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/win/MessagePump.h"

namespace {
class CountingPump : public MessagePump {
public:
    bool OnIdle() override {
        ++idleCalls;
        return true;
    }
    int idleCalls = 0;
};

void CALLBACK Quit(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(7);
}
}  // namespace

TEST(MessagePump, AnEmptyQueueWaitsInsteadOfSpinning) {
    CountingPump pump;
    MSG stray;
    while (PeekMessageA(&stray, nullptr, 0, 0, PM_REMOVE)) {
    }
    // A thread timer ends the loop; until it fires the queue stays empty.
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, Quit);
    ASSERT_NE(timer, 0u);
    const DWORD start = GetTickCount();
    EXPECT_EQ(pump.Run(), 7);
    KillTimer(nullptr, timer);
    EXPECT_GE(GetTickCount() - start, 250u);
    // Each empty peek ends in WaitMessage: a handful of idle calls in 300 ms,
    // where a loop that only peeks would make hundreds of thousands.
    EXPECT_GE(pump.idleCalls, 1);
    EXPECT_LE(pump.idleCalls, 10);
}
