// The hover help tracker: on the panel's hover timer it looks at what the
// cursor rests on and, once the cursor has stayed on a listed control for two
// consecutive ticks, opens a help balloon with that control's text. It closes
// the balloon as soon as the cursor reaches another listed control.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "help/win/HelpBalloon.h"
#include "help/HelpTable.h"
#include "help/HoverDecision.h"

class HoverHelp {
public:
    constexpr HoverHelp() = default;
    // Stops, if the panel has not stopped it.
    ~HoverHelp();
    HoverHelp(const HoverHelp&) = delete;
    HoverHelp& operator=(const HoverHelp&) = delete;

    // Called once by the panel. The hover timer (event id 0 on the panel,
    // period `preDelay`) runs only when `preDelay` is above 0; without it no
    // balloon ever opens. `postDelay` is every balloon's base display time.
    void Start(HWND panel, const HelpEntry* table, int32_t bitmapId, int32_t preDelay, int32_t postDelay);
    // Closes any balloon, stops the hover timer and takes the tracker's
    // property off the panel. The panel calls it when it is destroyed, while
    // the window still exists: a window's properties go before the window.
    void Stop();
    // One look at the cursor for the panel window.
    void Tick(HWND panel);
    // The hover timer's procedure: ticks the tracker that started the timer
    // on this panel.
    static void CALLBACK HoverTimerProc(HWND panel, UINT message, UINT_PTR eventId, DWORD time);

private:
    void Forget();

    std::unique_ptr<HelpBalloon> balloon;  // made for the current control; null = none
    const HelpEntry* helpTable = nullptr;
    UINT_PTR hoverTimer = 0;
    HWND timerWindow = nullptr;  // the panel the hover timer runs on
    int32_t bitmapId = 0;
    HoverTrack track;
    int32_t postDelay = 0;
};

// The program's tracker, constructed before the entry function runs.
extern HoverHelp hoverHelp;
