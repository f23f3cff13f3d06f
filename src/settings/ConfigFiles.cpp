#include "settings/ConfigFiles.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

#include "settings/FileAccess.h"
#include "settings/SettingsReader.h"

namespace {

// Below low gives low, else above high gives high.
int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return value;
}

}  // namespace

void ReadConfiguration(GeneratorState& state, const char* fileName)
{
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
    state.Device = Clamp(state.Device, 1, 255);
    state.HelpPreDelay = Clamp(state.HelpPreDelay, 0, 60000);
    state.HelpPostDelay = Clamp(state.HelpPostDelay, 500, 60000);
}

void ReadSavedState(GeneratorState& state, const char* fileName)
{
    SettingsReader reader(fileName);
    if (reader.Loaded()) {
        reader.ReadInt("FreqIndex", state.FreqIndex, 1);
        reader.ReadInt("AmplitudeIndex1", state.AmplitudeIndex1, 0x4000);
        reader.ReadInt("AmplitudeIndex2", state.AmplitudeIndex2, 0x4000);
        reader.ReadInt("ModeIndex1", state.ModeIndex1, 0);
        reader.ReadInt("ModeIndex2", state.ModeIndex2, 0);
    }
    state.FreqIndex = Clamp(state.FreqIndex, 1, 50000);
    state.AmplitudeIndex1 = Clamp(state.AmplitudeIndex1, 0, 0x7FFF);
    state.AmplitudeIndex2 = Clamp(state.AmplitudeIndex2, 0, 0x7FFF);
    state.ModeIndex1 = Clamp(state.ModeIndex1, 0, 19);
    state.ModeIndex2 = Clamp(state.ModeIndex2, 0, 19);
}

void WriteSavedState(const GeneratorState& state, const char* fileName)
{
    ChangeDirectory(state.workingDirectory);  // the file goes there even if this fails
    const std::string temporary = std::string(fileName) + ".tmp";
    bool written = false;
    {
        OutputFile file(temporary.c_str());
        if (!file.IsOpen())
            return;
        written = WriteLine(file, "FreqIndex       = %d\r\n", state.FreqIndex) &&
                  WriteLine(file, "AmplitudeIndex1 = %d\r\n", state.AmplitudeIndex1) &&
                  WriteLine(file, "AmplitudeIndex2 = %d\r\n", state.AmplitudeIndex2) &&
                  WriteLine(file, "ModeIndex1      = %d\r\n", state.ModeIndex1) &&
                  WriteLine(file, "ModeIndex2      = %d\r\n", state.ModeIndex2) &&
                  file.Commit();
    }
    // Only a complete file replaces the old one.
    if (!written || !MoveFileOver(temporary.c_str(), fileName))
        RemoveFile(temporary.c_str());
}

bool WriteLine(OutputFile& file, const char* format, ...)
{
    char line[256];
    va_list values;
    va_start(values, format);
    const int formatted = std::vsnprintf(line, sizeof line, format, values);
    va_end(values);
    if (formatted < 0)
        return false;
    const size_t count = std::min(static_cast<size_t>(formatted), sizeof line - 1);
    return file.Write(line, count);
}
