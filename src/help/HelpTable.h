// The help table: one Russian help text per listed control of the panel.
// Portable: the texts are narrow literals, compiled to code page 1251.
#pragma once

#include <cstdint>

struct HelpEntry {
    int32_t controlId;     // a control of the panel; 0 stands for the panel itself
    const char* helpText;  // null ends the table
};

// 13 rows, then the end row. Where control rectangles overlap, the first
// matching row wins, so the order matters.
extern const HelpEntry HelpTable[];
