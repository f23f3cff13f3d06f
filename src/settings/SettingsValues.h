// The values the two settings files hold, as the program keeps them: the
// configuration (read once at start-up) and the saved state (read at
// start-up, rewritten at teardown). The member initialisers are the start
// values that stand where a key is absent. Portable.
#pragma once

#include <cstdint>
#include <memory>

// A path as the file system names it, NUL-terminated: UTF-16 on Windows,
// bytes elsewhere; null where none was taken. A buffer of its own rather than
// a standard string, which would bring the standard library's exception
// machinery into the programs, nearly doubling the release builds' size.
#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
using SystemPath = std::unique_ptr<PathChar[]>;

// The ranges of the chosen values, held by the saved-state reader and by the
// panel alike.
constexpr int32_t MaxAmplitudeCode = 0x7FFF;
constexpr int32_t MinSamplingFrequency = 1;
constexpr int32_t MaxSamplingFrequency = 50000;
constexpr int32_t MaxModeIndex = 19;  // 20 periods per block

struct Configuration {
    int32_t HelpPreDelay = 10000;       // ms the cursor must rest before help shows; 0 = off
    int32_t HelpPostDelay = 4000;       // base display time of a help balloon, ms
    int32_t Device = 1;                 // device number passed to Open
    char DeviceName[100] = "QorvelE";   // last component of the driver's registry key
    double ADCRange = 0.0;              // volts; 0 or less: asked of the device at attach
    double DACRange = 0.0;              // volts; 0 or less: follows ADCRange at attach
    std::unique_ptr<double[]> FreqSIN;  // the configuration's FreqSIN values
    int32_t FreqSINCount = 0;
};

// The panel's choices, in file order, and the directory the file goes to.
struct SavedState {
    int32_t FreqIndex = 1000;
    int32_t AmplitudeIndex1 = 0;
    int32_t AmplitudeIndex2 = 0;
    int32_t ModeIndex1 = 0;
    int32_t ModeIndex2 = 0;
    char workingDirectory[255] = "";  // current directory at start-up
    // The same directory as the file system names it, for going back to it at
    // teardown: workingDirectory holds it in the system's code page, which
    // cannot spell every name (a Cyrillic folder on a Western Windows reads
    // as "?"). Null when start-up could not read it; workingDirectory serves then.
    SystemPath workingDirectoryName;
};
