// The registry key under HKEY_LOCAL_MACHINE where the board's driver library
// is registered. Portable, so the tool that shows the settings and device
// attach build the same path.
#pragma once

#include <cstddef>

// Writes "SOFTWARE" followed by "\" and each non-empty one of "Brackwell",
// "Drivers", "1.0" and deviceName (null counts as empty), so an empty device
// name gives "SOFTWARE\Brackwell\Drivers\1.0" without a trailing backslash.
// The result is always terminated within size bytes; a path that does not fit
// is cut there. Nothing is written when size is 0.
void BuildDriverKeyPath(const char* deviceName, char* out, size_t size);
