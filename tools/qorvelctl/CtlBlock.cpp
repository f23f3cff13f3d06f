#include "CtlBlock.h"

#include "ScopePicture.h"

namespace {
std::string Hertz(double hertz) {
    return Decimal(hertz, 4) + " Hz";
}

bool ChannelWaveFrom(const ChannelOptions& options, int channel, double dacRange, const SavedState& saved,
                     const ChannelWave* previous, ChannelWave& wave, std::string& problem) {
    const std::string n = std::to_string(channel + 1);
    if (previous) {
        wave = previous[channel];
    } else {
        wave.amplitude = channel == 0 ? saved.AmplitudeIndex1 : saved.AmplitudeIndex2;
        wave.periods = (channel == 0 ? saved.ModeIndex1 : saved.ModeIndex2) + 1;
        wave.phase = options.phase;
        wave.offset = options.offsetCode;
        wave.duty = options.duty;
    }
    if (!previous || options.shapeGiven) ShapeFromName(options.shape, wave.shape);
    if (options.amplitudeGiven) wave.amplitude = options.amplitude;
    if (options.voltsGiven &&
        !VoltsToCode("--volts" + n, options.volts, dacRange, 0, wave.amplitude, problem))
        return false;
    if (options.peakToPeakGiven && !VoltsToCode("--vpp" + n + " (half of it)", options.peakToPeak / 2,
                                                dacRange, 0, wave.amplitude, problem))
        return false;
    if (options.periodsGiven) wave.periods = options.periods;
    if (options.phaseGiven) wave.phase = options.phase;
    if (options.offsetCodeGiven) wave.offset = options.offsetCode;
    if (options.offsetVoltsGiven &&
        !VoltsToCode("--offset" + n, options.offsetVolts, dacRange, -32768, wave.offset, problem))
        return false;
    if (options.dutyGiven) wave.duty = options.duty;
    if (options.dutyGiven && wave.shape != WaveShape::Square) {
        problem = "--duty" + n + " goes with a square: DAC" + n + " plays a " + ShapeName(wave.shape);
        return false;
    }
    return true;
}

// What the panel can show and QorvelGen.sav keep: sines of 1 to 20 periods
// from phase 0 without an offset.
std::string PanelCannotShow(const CtlBlock& planned) {
    if (planned.fromFile) return "a block from a file";
    for (int channel = 0; channel < 2; ++channel) {
        const ChannelWave& wave = planned.waves[channel];
        const std::string dac = "DAC" + std::to_string(channel + 1) + " ";
        if (wave.shape != WaveShape::Sine) return dac + "plays a " + ShapeName(wave.shape);
        if (wave.periods > MaxModeIndex + 1)
            return dac + "plays " + std::to_string(wave.periods) + " periods";
        if (wave.phase != 0.0) return dac + "starts at " + Decimal(wave.phase, 3) + " degrees";
        if (wave.offset != 0) return dac + "has an offset";
    }
    return "";
}
}  // namespace

bool BlockNeedsRange(const CtlArguments& arguments, const FileBlock* file) {
    if (file) return file->units == FileUnits::Volts;
    for (const ChannelOptions& options : arguments.channels)
        if (options.voltsGiven || options.peakToPeakGiven || options.offsetVoltsGiven) return true;
    return false;
}

bool PlanCtlBlock(const CtlArguments& arguments, const FileBlock* file, double dacRange,
                  const SavedState& saved, const ChannelWave* previous, CtlBlock& planned,
                  std::string& problem) {
    planned = CtlBlock{};
    planned.rate = arguments.rateGiven ? arguments.rate : saved.FreqIndex;
    if (file) {
        planned.fromFile = true;
        if (file->wav && arguments.unitsGiven) {
            problem = "--units goes with a CSV file; a WAV file's samples say their own";
            return false;
        }
        if (file->wav && !arguments.rateGiven) {
            if (file->rate < MinSamplingFrequency || file->rate > MaxSamplingFrequency) {
                problem = arguments.file + ": its sample rate, " + std::to_string(file->rate) +
                          " Hz, is outside 1 to 50000 Hz; give --rate";
                return false;
            }
            planned.rate = file->rate;
        }
        planned.filePeriods = int32_t(SamplePairs / file->Rows());
        if (!BlockFromFile(*file, arguments.channel - 1, dacRange, planned.samples, problem)) {
            problem = arguments.file + ": " + problem;
            return false;
        }
    } else {
        std::optional<double> asked[2];
        for (int channel = 0; channel < 2; ++channel) {
            const ChannelOptions& options = arguments.channels[channel];
            if (!ChannelWaveFrom(options, channel, dacRange, saved, previous, planned.waves[channel],
                                 problem))
                return false;
            if (options.frequencyGiven) asked[channel] = options.frequency;
        }
        if (asked[0] || asked[1]) {
            const FrequencyPlan plan =
                PlanFrequencies(asked, arguments.rateGiven ? std::optional(arguments.rate) : std::nullopt);
            planned.rate = plan.rate;
            for (int channel = 0; channel < 2; ++channel) {
                planned.askedHertz[channel] = asked[channel];
                if (asked[channel]) planned.waves[channel].periods = plan.periods[channel];
            }
            if (!plan.exact && arguments.exact) {
                problem = "--exact: no rate and periods give";
                for (int channel = 0; channel < 2; ++channel) {
                    if (!asked[channel]) continue;
                    const int32_t periods = plan.periods[channel];
                    problem += std::string(channel && asked[0] ? ";" : "") + " DAC" +
                               std::to_string(channel + 1) + " " + Hertz(*asked[channel]) +
                               " exactly: the nearest is " + Hertz(PlayedHertz(periods, plan.rate)) + " (" +
                               std::to_string(periods) + " periods at " + std::to_string(plan.rate) + " Hz)";
                }
                return false;
            }
        }
        planned.samples = SynthesizeWaves(planned.waves[0], planned.waves[1]);
        const std::string clipped = FindClipping(planned.samples);
        if (!clipped.empty()) {
            problem = clipped + "; lower the peak or the offset";
            return false;
        }
    }
    if (arguments.save) {
        const std::string why = PanelCannotShow(planned);
        if (!why.empty()) {
            problem =
                "--save: QorvelGen.sav keeps only what the panel shows (sines of 1 to 20 periods from "
                "phase 0 without an offset); " +
                why;
            return false;
        }
    }
    planned.block = ToSampleBlock(planned.samples);
    return true;
}
