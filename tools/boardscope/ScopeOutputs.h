// The tool's outputs of a rebuilt playback beside the scope picture
// (ScopePicture.h): the text summary and the sound file (WAV through
// libsndfile).
#pragma once

#include <string>

#include "BoardPlayback.h"

std::string Summary(const Playback& playback);

// Throws std::runtime_error when the file cannot be written.
void WriteWav(const std::string& path, const BoardRun& run, const WavPlan& plan);
