// The tool's three outputs of a rebuilt playback: the text summary, the
// scope picture (SVG text) and the sound file (WAV through libsndfile).
#pragma once

#include <string>

#include "BoardPlayback.h"

std::string Summary(const Playback& playback);

// Both channels of the run over two cycles, one polyline point per sample.
std::string ScopeSvg(const BoardRun& run);

// Throws std::runtime_error when the file cannot be written.
void WriteWav(const std::string& path, const BoardRun& run, const WavPlan& plan);
