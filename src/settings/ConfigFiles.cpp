#include "settings/ConfigFiles.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "settings/FileAccess.h"
#include "settings/SettingsReader.h"

void ReadConfiguration(Configuration& state, const char* fileName) {
    state.FreqSIN.reset();
    state.FreqSINCount = 0;
    SettingsReader reader(fileName);
    if (reader.Loaded()) {
        // 99 bytes: at most 98 characters of the 100-byte field are read.
        reader.ReadString("DeviceName", state.DeviceName, 99, nullptr);
        reader.ReadInt("Device", state.Device, 1);
        reader.ReadInt("HelpPreDelay", state.HelpPreDelay, 10000);
        reader.ReadInt("HelpPostDelay", state.HelpPostDelay, 4000);
        reader.ReadDouble("ADCRange", state.ADCRange, 0.0);
        reader.ReadDouble("DACRange", state.DACRange, 0.0);
        const int32_t count = reader.CountValues("FreqSIN");
        if (count > 0) {
            std::unique_ptr<double[]> list(new (std::nothrow) double[count]());
            if (list) {
                state.FreqSIN = std::move(list);
                state.FreqSINCount = count;
                reader.ReadDoubleList("FreqSIN", state.FreqSIN.get(), count);
            }
        }
    }
    state.Device = std::clamp(state.Device, 1, 255);
    state.HelpPreDelay = std::clamp(state.HelpPreDelay, 0, 60000);
    state.HelpPostDelay = std::clamp(state.HelpPostDelay, 500, 60000);
}

void ReadSavedState(SavedState& state, const char* fileName) {
    SettingsReader reader(fileName);
    if (reader.Loaded()) {
        reader.ReadInt("FreqIndex", state.FreqIndex, 1);
        reader.ReadInt("AmplitudeIndex1", state.AmplitudeIndex1, 0x4000);
        reader.ReadInt("AmplitudeIndex2", state.AmplitudeIndex2, 0x4000);
        reader.ReadInt("ModeIndex1", state.ModeIndex1, 0);
        reader.ReadInt("ModeIndex2", state.ModeIndex2, 0);
    }
    state.FreqIndex = std::clamp(state.FreqIndex, MinSamplingFrequency, MaxSamplingFrequency);
    state.AmplitudeIndex1 = std::clamp(state.AmplitudeIndex1, 0, MaxAmplitudeCode);
    state.AmplitudeIndex2 = std::clamp(state.AmplitudeIndex2, 0, MaxAmplitudeCode);
    state.ModeIndex1 = std::clamp(state.ModeIndex1, 0, MaxModeIndex);
    state.ModeIndex2 = std::clamp(state.ModeIndex2, 0, MaxModeIndex);
}

namespace {
// The five lines, each one written even when one before it failed (the
// rewrite in place keeps whatever it can); true when all were written whole.
bool WriteStateLines(OutputFile& file, const SavedState& state) {
    bool whole = WriteLine(file, "FreqIndex       = %d\r\n", state.FreqIndex);
    whole = WriteLine(file, "AmplitudeIndex1 = %d\r\n", state.AmplitudeIndex1) && whole;
    whole = WriteLine(file, "AmplitudeIndex2 = %d\r\n", state.AmplitudeIndex2) && whole;
    whole = WriteLine(file, "ModeIndex1      = %d\r\n", state.ModeIndex1) && whole;
    whole = WriteLine(file, "ModeIndex2      = %d\r\n", state.ModeIndex2) && whole;
    return whole;
}

// Writes the lines to a temporary beside fileName, named fileName with
// ".tmp" appended, and moves it over fileName in one step. False, with the
// temporary removed, when any step fails; a name that cannot be allocated
// counts as a temporary that cannot be created.
bool ReplaceWhole(const SavedState& state, const char* fileName) {
    static constexpr char suffix[] = ".tmp";
    const size_t length = std::strlen(fileName);
    std::unique_ptr<char[]> temporary(new (std::nothrow) char[length + sizeof suffix]);
    if (!temporary) return false;
    std::memcpy(temporary.get(), fileName, length);
    std::memcpy(temporary.get() + length, suffix, sizeof suffix);
    {
        OutputFile file(temporary.get());
        if (!file.IsOpen()) return false;
        // Only a complete file, on the disk, replaces the old one.
        if (WriteStateLines(file, state) && file.Commit() && MoveFileOver(temporary.get(), fileName))
            return true;
    }  // closed before it is removed
    RemoveFile(temporary.get());
    return false;
}
}  // namespace

void WriteSavedState(const SavedState& state, const char* fileName) {
    // The file goes there even if this fails. The file system's own name
    // where start-up took one: the narrow one may have lost letters.
    if (state.workingDirectoryName)
        ChangeDirectory(state.workingDirectoryName.get());
    else
        ChangeDirectory(state.workingDirectory);
    if (ReplaceWhole(state, fileName)) return;
    // Whatever stopped the replacement (no file can be made here, the disk
    // refused a write, another program holds the old file open without
    // letting it be deleted), a plain rewrite in place may still work: a
    // save is never lost that the rewrite would have made. Write errors are
    // ignored here; the file is closed when it goes out of scope.
    OutputFile file(fileName);
    if (file.IsOpen()) WriteStateLines(file, state);
}

bool WriteLine(OutputFile& file, const char* format, ...) {
    char line[256];
    va_list values;
    va_start(values, format);
    const int formatted = std::vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (formatted < 0) return false;
    const size_t count = std::min(static_cast<size_t>(formatted), sizeof line - 1);
    return file.Write(line, count);
}
