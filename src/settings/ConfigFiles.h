// The configuration file (read once at start-up) and the saved-state file
// (read at start-up, rewritten at teardown): every key's reader default and
// clamp. The start values are the records' member initialisers.
#pragma once

#include "settings/SettingsValues.h"

class OutputFile;

// Device name, device number, help timings, voltage ranges and the FreqSIN
// list. The clamps apply whether or not the file could be read.
void ReadConfiguration(Configuration& state, const char* fileName);

// Sampling frequency, amplitudes and periods selections, clamped.
void ReadSavedState(SavedState& state, const char* fileName);

// Makes state.workingDirectory the current directory and writes the five
// saved-state lines there. The lines go to a temporary file beside fileName,
// which then replaces fileName in one step. When that fails at any step, the
// temporary is removed and fileName itself is rewritten (created or
// truncated) in place; only when that cannot be opened either does the old
// file stay as it was.
void WriteSavedState(const SavedState& state, const char* fileName);

// Formats one line (at most 255 bytes; longer output is cut) and writes it
// in one call. True when the whole line was written.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool WriteLine(OutputFile& file, const char* format, ...);
