// The help balloon's arithmetic: word count, sizing the window to the
// measured text, placing it on the screen, scaling and mirroring the
// speech-bubble outline into the window (16.16 fixed point, arithmetic
// shifts, truncating division), the display time and the fade schedule.
// Portable: the Win32 balloon feeds it sizes and applies its answers.
#pragma once

#include <cstdint>

#include "framework/Placement.h"  // Rect and Point

// The first word at or after `text` (a run of characters other than the
// space), or null when none is left; `length` receives its length.
const char* NextWord(const char* text, int32_t& length);
// Words of a text; null and empty texts have none.
int32_t CountWords(const char* text);

// The bubble's outline in outline units: x to the right, y upward from the
// bottom, (0, 0) the tail tip; x and y of each point in turn, closed.
constexpr int32_t DefaultOutlineValueCount = 54;
extern const int32_t DefaultOutline[DefaultOutlineValueCount];
// The part of the outline that holds the text: left, top, right, bottom,
// where top is the larger y.
constexpr Rect DefaultTextArea{9, 26, 34, 9};

// Outline units across (largest x + 2) and down (largest y + 1) the window.
struct OutlineExtent {
    int32_t x, y;
};
OutlineExtent MeasureOutline(const int32_t* outline, int32_t valueCount);

// The width the text is laid out in: the widest word (measured with the
// character after it) plus the width of "000", doubled from 3 words on.
int32_t LayoutWidth(int32_t widestWord, int32_t zerosWidth, int32_t words);

// The laid-out text rectangle (left and top 0) scaled from the text area to
// the whole outline; the window is right + 1 by bottom + 1 pixels.
Rect ScaleMeasurement(const Rect& measured, OutlineExtent extent, const Rect& textArea);

enum FlipFlag : int32_t {
    FlipLeftRight = 1,  // the balloon extends left of the anchor, tail at the right
    FlipTopBottom = 2,  // the balloon opens below the anchor, tail at the top
};

struct BalloonPlacement {
    int32_t x, y;
    int32_t flipFlags;
};
// Where a w by h balloon goes for an anchor (the cursor) on a screen of the
// given size: above and to the right of the anchor where it fits, mirrored
// where it would leave the screen on the right or at the top.
BalloonPlacement PlaceBalloon(int32_t anchorX, int32_t anchorY, int32_t w, int32_t h, int32_t screenWidth,
                              int32_t screenHeight);

// How long a balloon stays before it fades: one post-delay per five words,
// at least one. The post-delay is the configuration's, which the reader
// holds within its range.
int32_t DisplayTime(int32_t words, int32_t postDelay);

// The outline's scale for a window of width by height pixels (no + 1).
struct OutlineScale {
    int32_t width, height;
    int32_t a;  // 16.16 pixels per outline unit, vertically
    int32_t b;  // 16.16 pixels per outline unit, horizontally
    int32_t flipFlags;
};
OutlineScale MakeOutlineScale(int32_t width, int32_t height, OutlineExtent extent, int32_t flipFlags);
// Where the text goes, in client coordinates.
Rect ScaleTextArea(const OutlineScale& scale, const Rect& textArea);
// One outline point in client coordinates; it may fall a pixel or two
// outside the window, whose edge then cuts it.
Point ScaleOutlinePoint(const OutlineScale& scale, int32_t x, int32_t y);

constexpr int32_t ShapedOpacity = 200;
constexpr int32_t FadeIntervalMs = 40;
constexpr int32_t FadeDecrement = 5;

// One fade step, run by each balloon timer event and each click.
struct FadeOutcome {
    bool applyOpacity;  // set the window's opacity to `opacity`
    uint8_t opacity;
    bool switchToSteps;  // restart the balloon timer at FadeIntervalMs
    int32_t alpha;       // the balloon's alpha after this step
    bool destroy;        // stop the timer and destroy the window
};
// `canSetOpacity`: the system's layered-window call was found. Without it
// alpha is 0 and the first step destroys the window.
FadeOutcome NextFadeStep(int32_t alpha, bool canSetOpacity);
