// Reads arbitrary bytes as a block file: as CSV text in each unit, and as a
// WAV format chunk (the first 40 bytes) with its data (the rest), checking
// what must hold whatever the bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BlockFile.h"

namespace {
void Require(bool condition) {
    if (!condition) std::abort();
}

// A block that was read holds whole cycles of finite values, and its codes
// stay inside 16 bits whenever the conversion succeeds.
void CheckBlock(const FileBlock& block) {
    Require(block.columns == 1 || block.columns == 2);
    Require(block.Rows() > 0 && SamplePairs % block.Rows() == 0);
    for (int column = 0; column < block.columns; ++column) {
        Require(block.values[column].size() == block.Rows());
        for (const double value : block.values[column]) Require(std::isfinite(value));
    }
    for (const int channel : {-1, 1}) {
        BlockSamples samples;
        std::string problem;
        if (!BlockFromFile(block, channel, 10.0, samples, problem)) {
            Require(!problem.empty());
            continue;
        }
        Require(FindClipping(samples).empty());
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const FileUnits units : {FileUnits::Volts, FileUnits::Codes, FileUnits::Fraction}) {
        FileBlock block;
        std::string problem;
        if (!ReadCsvBlock(text, units, block, problem)) {
            Require(!problem.empty());
            continue;
        }
        Require(block.rows.size() == block.Rows());
        for (size_t row = 1; row < block.rows.size(); ++row) Require(block.rows[row - 1] < block.rows[row]);
        CheckBlock(block);
    }

    const size_t formatBytes = size < 40 ? size : 40;
    WavFormat format;
    FileBlock block;
    std::string problem;
    if (ReadWavFormat(data, formatBytes, format, problem) &&
        ReadWavBlock(format, data + formatBytes, size - formatBytes, block, problem))
        CheckBlock(block);
    else
        Require(!problem.empty());
    return 0;
}
