#include <stdexcept>
#include <vector>

#include <sndfile.h>

#include "ScopeOutputs.h"

void WriteWav(const std::string& path, const BoardRun& run, const WavPlan& plan) {
    SF_INFO info{};
    info.samplerate = plan.headerRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));

    // The cycle's pairs are already frames: DAC1 left, DAC2 right.
    const size_t pairs = run.Pairs();
    std::vector<short> chunk;
    std::string failure;
    for (int64_t frame = 0; frame < plan.frames && failure.empty();) {
        chunk.clear();
        for (; frame < plan.frames && chunk.size() < 8192; ++frame) {
            const size_t pair = size_t(frame % int64_t(pairs));
            chunk.push_back(run.Value(0, pair));
            chunk.push_back(run.Value(1, pair));
        }
        const sf_count_t frames = sf_count_t(chunk.size() / 2);
        if (sf_writef_short(file, chunk.data(), frames) != frames) failure = sf_strerror(file);
    }
    if (sf_close(file) != 0 && failure.empty()) failure = "the file could not be completed";
    if (!failure.empty()) throw std::runtime_error("cannot write " + path + ": " + failure);
}
