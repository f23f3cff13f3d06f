// A block read from a file: CSV text (one or two columns, DAC1 then DAC2)
// or the sample bytes of a WAV file (mono or stereo), 1000 rows or frames
// or a number that divides 1000, repeated to fill the block. Portable: the
// Windows build finds a WAV file's chunks with the system's RIFF calls and
// hands their bytes here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Waveform.h"

enum class FileUnits { Volts, Codes, Fraction };  // fraction: -1 to 1 of full scale

// False for a name that is none of volts, codes, fraction.
bool UnitsFromName(std::string_view name, FileUnits& units);

// What a file holds, in its own units, before the board's range turns it
// into codes.
struct FileBlock {
    bool wav = false;  // rows are frames, columns are channels
    int columns = 0;   // 1 or 2
    FileUnits units = FileUnits::Volts;
    int32_t rate = 0;               // a WAV file's sample rate; 0 for CSV
    std::vector<double> values[2];  // per column, one value a row
    std::vector<size_t> rows;       // CSV: each value row's row in the file, from 1

    size_t Rows() const { return values[0].size(); }
    // "row 12, column 2" or "frame 12, channel 2"; row and column from 0.
    std::string Where(size_t row, int column) const;
};

// A WAV file by its RIFF header; text without NUL bytes may be CSV.
enum class FileKind { Csv, Wav, Neither };
FileKind KindOfFile(std::string_view bytes);

// Reads CSV text: comma-separated with a decimal point, or, where the text
// holds a semicolon, semicolon-separated with a decimal comma (a decimal
// point is taken too). An optional header row (its first field not a
// number); one that names a single column in a text without semicolons
// makes that one column of decimal commas. Blank rows are skipped. False,
// with what and where in problem.
bool ReadCsvBlock(std::string_view text, FileUnits units, FileBlock& block, std::string& problem);

// A WAV file's format chunk, as it stands.
struct WavFormat {
    uint16_t tag = 0;  // 1 integer PCM, 3 float; the sub-format's for an extensible one
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t frameBytes = 0;
    uint16_t bits = 0;
};

// False, with why, for a chunk too short to be a format chunk.
bool ReadWavFormat(const unsigned char* chunk, size_t size, WavFormat& format, std::string& problem);

// Decodes the data chunk: 16-, 24- and 32-bit integer PCM as codes (the
// upper 16 bits), 32-bit float as fractions of full scale.
bool ReadWavBlock(const WavFormat& format, const unsigned char* data, size_t size, FileBlock& block,
                  std::string& problem);

// The block's codes: a one-column file on `channel` (0 or 1; -1 for
// DAC1, not given), the other silent. Volts use rangeVolts. False, with the
// value and where it stands, for one that is out of range.
bool BlockFromFile(const FileBlock& file, int channel, double rangeVolts, BlockSamples& samples,
                   std::string& problem);
