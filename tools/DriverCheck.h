// The driver check of "qorvelcfg show": what QorvelGen.exe would find for its
// board's driver in each registry view, and a verdict a bench engineer can act
// on. Portable: the Win32 side only gathers the findings (InspectDriverViews);
// the verdicts and texts are made here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "PeImage.h"

// The longest driver path the program reads, in characters.
constexpr size_t MaxDriverPathLength = 255;
// Larger files are not read for the check.
constexpr size_t MaxDriverFileSize = 64u << 20;

enum class KeyState { Present, Missing, Unreadable };
enum class FileState { Found, Missing, Unreadable, TooLarge };

// What one registry view holds under the driver's key, and the file it names.
struct DriverView {
    int bits = 64;       // 32 or 64: the programs of these bits read this view
    bool exists = true;  // false for the 64-bit view on 32-bit Windows
    KeyState key = KeyState::Missing;
    uint32_t keyError = 0;    // the registry's error code when Unreadable
    bool hasPath = false;     // the key has a value "path"
    uint32_t pathType = 0;    // its registry type (1 REG_SZ)
    bool pathIsText = false;  // a string type, so path holds its text
    std::string path;         // UTF-8, up to its first NUL
    size_t pathLength = 0;    // in characters; the whole value's where it holds more after a NUL
    // The file the loader would take for path (relative paths, a name
    // without ".dll", the search order), UTF-8; empty where it is path itself.
    std::string resolved;
    FileState file = FileState::Missing;
    uint32_t fileError = 0;  // the system's error code when Unreadable
    PeImage image;           // when Found
};

enum class DriverProblem {
    None,
    NoView,
    NoKey,
    KeyUnreadable,
    NoPath,
    PathNotText,
    PathTooLong,
    NoFile,
    FileUnreadable,
    FileTooLarge,
    NotPe,
    Damaged,
    OtherMachine,
    NoFactory,
};

// The first reason why a program of view.bits, reading this view, would not
// get its driver; None when it would load it and find StaticFactory.
DriverProblem Evaluate(const DriverView& view);

// The "driver:" line and the lines under it: own is the view read by the
// program built beside this tool, other the other view.
std::vector<std::string> DescribeDriver(const DriverView& own, const DriverView& other);

// Reads both registry views under the driver's key for deviceName (code page
// 1251) and the files they name: own is the view of this program's bitness.
// False where there is no registry to read.
// startDirectory is the folder the program would start in (show's DIR),
// against which the loader resolves a relative path.
bool InspectDriverViews(const char* deviceName, const char* startDirectory, DriverView& own,
                        DriverView& other);

// Text of the program's code page 1251 as UTF-8 for printing (on Windows;
// elsewhere the bytes as they are).
std::string DisplayText1251(const char* text);
// A text in the system's own code page (a path from the command line), for PrintText.
std::string DisplayTextOfSystem(const char* text);

// Prints UTF-8 text so that every character shows: on a Windows console as
// wide characters, elsewhere as UTF-8 bytes.
void PrintText(const std::string& text);
