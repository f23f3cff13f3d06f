// The block that play, load and preview write: the shapes or the file's
// values as the options ask, the frequency plan, the clip check, and
// whether the panel could show it. Portable.
#pragma once

#include <optional>
#include <string>

#include "BlockFile.h"
#include "CtlArguments.h"
#include "FrequencyPlan.h"
#include "Waveform.h"
#include "settings/SettingsValues.h"

struct CtlBlock {
    bool fromFile = false;
    ChannelWave waves[2];                 // the shapes; for a file, unused
    std::optional<double> askedHertz[2];  // --freqN
    int32_t rate = 0;                     // the rate to apply
    int32_t filePeriods = 0;              // a file's rows repeat this often in the block
    BlockSamples samples{};
    SampleBlock block{};

    int32_t Periods(int channel) const { return fromFile ? filePeriods : waves[channel].periods; }
};

// Does the block depend on the DAC range (volts given, or a CSV in volts)?
bool BlockNeedsRange(const CtlArguments& arguments, const FileBlock* file);

// Builds the block from the arguments over the values not given: those of
// `previous` (a session's last two waves) where given, else the saved
// state's and the options' defaults; with `file` for load and preview FILE.
// False, with what is wrong in problem, when an option or a value cannot be
// played as asked; nothing has been sent then.
bool PlanCtlBlock(const CtlArguments& arguments, const FileBlock* file, double dacRange,
                  const SavedState& saved, const ChannelWave* previous, CtlBlock& planned,
                  std::string& problem);
