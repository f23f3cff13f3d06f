// Where MoveTo puts a window: centring and holding it inside the screen.
// Portable arithmetic; WindowObject::MoveTo feeds it the window's rectangle
// and the screen size.
#pragma once

struct Rect {
    int left, top, right, bottom;
};

struct Point {
    int x, y;
};

// Requested (x, y) for a window now at `current` on a screen of the given
// size: -1000 (anything below -999) centres a coordinate, both below -9999
// keep the current position; the result is then held inside the screen. A
// window larger than the screen gets a negative limit: centring and any
// negative request give 0, a request of 0 or more puts its far edge on the
// screen's far edge.
Point PlaceWindow(int x, int y, const Rect& current, int screenWidth, int screenHeight);

// The centred coordinate for a limit (screen size - window size): half the
// limit, rounded towards minus infinity (-221 gives -111).
int CentredCoordinate(int limit);
