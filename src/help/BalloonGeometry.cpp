#include "help/BalloonGeometry.h"

#include <algorithm>

const int32_t DefaultOutline[DefaultOutlineValueCount] = {
    0,  0,  1,  6,  2,  12, 3,  16, 4,  19, 5,  21, 7,  25, 11, 28, 14, 29,
    22, 30, 31, 30, 34, 29, 36, 28, 38, 25, 39, 23, 40, 20, 40, 18, 39, 15,
    38, 13, 36, 11, 34, 9,  30, 7,  24, 6,  13, 6,  6,  5,  2,  3,  0,  0,
};

const char* NextWord(const char* text, int32_t& length) {
    length = 0;
    if (text == nullptr) return nullptr;
    while (*text == ' ') ++text;
    if (*text == '\0') return nullptr;
    while (text[length] != '\0' && text[length] != ' ') ++length;
    return text;
}

int32_t CountWords(const char* text) {
    int32_t words = 0;
    int32_t length = 0;
    for (const char* word = NextWord(text, length); word != nullptr; word = NextWord(word + length, length)) {
        ++words;
    }
    return words;
}

OutlineExtent MeasureOutline(const int32_t* outline, int32_t valueCount) {
    int32_t maxX = 0;
    int32_t maxY = 0;
    for (int32_t i = 0; i + 1 < valueCount; i += 2) {
        maxX = std::max(maxX, outline[i]);
        maxY = std::max(maxY, outline[i + 1]);
    }
    return {maxX + 2, maxY + 1};
}

int32_t LayoutWidth(int32_t widestWord, int32_t zerosWidth, int32_t words) {
    const int32_t width = widestWord + zerosWidth;
    return words >= 3 ? 2 * width : width;
}

Rect ScaleMeasurement(const Rect& measured, OutlineExtent extent, const Rect& textArea) {
    Rect scaled = measured;
    scaled.right = extent.x * measured.right / (textArea.right - textArea.left);
    scaled.bottom = extent.y * measured.bottom / (textArea.top - textArea.bottom);
    return scaled;
}

BalloonPlacement PlaceBalloon(int32_t anchorX, int32_t anchorY, int32_t w, int32_t h, int32_t screenWidth,
                              int32_t screenHeight) {
    const int32_t maxX = screenWidth - w - 1;
    const int32_t maxY = screenHeight - h - 1;
    BalloonPlacement p{anchorX, 0, 0};
    if (anchorX < 0) {
        p.x = 0;
    } else if (anchorX > maxX) {
        p.flipFlags |= FlipLeftRight;
        p.x = anchorX - w;
    }
    const int32_t above = anchorY - h;
    if (above < 0) {
        p.flipFlags |= FlipTopBottom;
        p.y = anchorY;
    } else {
        p.y = std::min(above, maxY);
    }
    return p;
}

int32_t DisplayTime(int32_t words, int32_t postDelay) {
    return std::max(1, words / 5) * std::clamp(postDelay, 500, 60000);
}

OutlineScale MakeOutlineScale(int32_t width, int32_t height, OutlineExtent extent, int32_t flipFlags) {
    // 64-bit intermediates: the 16.16 products must not overflow for wide
    // windows; division truncates toward zero.
    const auto a = static_cast<int32_t>(int64_t{height} * 65536 / extent.y);
    const auto b = static_cast<int32_t>(int64_t{width} * 65536 / extent.x);
    return {width, height, a, b, flipFlags};
}

namespace {
// (factor × units) >> 16; >> on a negative value is an arithmetic shift.
int32_t Fixed(int32_t factor, int32_t units) {
    return static_cast<int32_t>((int64_t{factor} * units) >> 16);
}
}  // namespace

Rect ScaleTextArea(const OutlineScale& s, const Rect& area) {
    Rect r{};
    if (s.flipFlags & FlipLeftRight) {
        r.left = s.width - Fixed(s.b, area.right) - 1;
        r.right = s.width - Fixed(s.b, area.left) - 1;
    } else {
        r.left = Fixed(s.b, area.left) + 1;
        r.right = Fixed(s.b, area.right) + 1;
    }
    if (s.flipFlags & FlipTopBottom) {
        r.top = Fixed(s.a, area.bottom) - 1;
        r.bottom = Fixed(s.a, area.top) - 1;
    } else {
        r.top = s.height - Fixed(s.a, area.top) + 1;
        r.bottom = s.height - Fixed(s.a, area.bottom) + 1;
    }
    return r;
}

Point ScaleOutlinePoint(const OutlineScale& s, int32_t x, int32_t y) {
    Point p{Fixed(s.b, x) + 1, s.height - Fixed(s.a, y) + 1};
    if (s.flipFlags & FlipLeftRight) p.x = s.width - p.x;
    if (s.flipFlags & FlipTopBottom) p.y = s.height - p.y;
    return p;
}

FadeOutcome NextFadeStep(int32_t alpha, bool canSetOpacity) {
    FadeOutcome out{false, 0, false, alpha, false};
    if (canSetOpacity) {
        out.applyOpacity = true;
        out.opacity = static_cast<uint8_t>(alpha & 0xFF);
        out.switchToSteps = alpha == ShapedOpacity;
        out.alpha = std::max(0, alpha - FadeDecrement);
    }
    out.destroy = out.alpha == 0;
    return out;
}
