// What the hover tracker does at each tick, decided from three facts the
// window system gives it: is the cursor over the panel (or a window it owns),
// which listed control is under it, and is that control an open combo box.
// Portable: the Win32 tick gathers the facts and carries out the action.
#pragma once

#include <cstdint>

#include "help/HelpTable.h"

struct HoverTrack {
    int32_t lastControlId = 0;  // listed control under the cursor at the previous tick; 0 = none
    bool shown = false;         // a balloon has been made since the cursor arrived on it
};

struct HoverFacts {
    bool overPanel = false;
    const HelpEntry* hit = nullptr;  // first table row whose control holds the cursor
    bool openComboBox = false;       // the hit control is a combo box with its list open
};

enum class HoverAction {
    Nothing,
    CloseBalloon,  // close and forget the current balloon, if any
    ShowBalloon,   // make a new balloon with `text`
};

struct HoverStep {
    HoverAction action = HoverAction::Nothing;
    const char* text = nullptr;
    HoverTrack track;
};

// Help opens once the cursor has been seen on the same listed control at two
// consecutive ticks, and at most once per arrival on that control.
HoverStep DecideHover(const HoverTrack& track, const HoverFacts& facts);
