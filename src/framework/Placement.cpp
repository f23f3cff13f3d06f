#include "framework/Placement.h"

int CentredCoordinate(int limit) {
    return limit >> 1;
}  // an arithmetic shift: towards minus infinity

namespace {
int PlaceCoordinate(int wanted, int windowSize, int screenSize) {
    const int limit = screenSize - windowSize;
    if (wanted < -999) wanted = CentredCoordinate(limit);
    if (wanted < 0) return 0;
    return wanted > limit ? limit : wanted;
}
}  // namespace

Point PlaceWindow(int x, int y, const Rect& current, int screenWidth, int screenHeight) {
    if (x < -9999 && y < -9999) {
        x = current.left;
        y = current.top;
    }
    return {PlaceCoordinate(x, current.right - current.left, screenWidth),
            PlaceCoordinate(y, current.bottom - current.top, screenHeight)};
}
