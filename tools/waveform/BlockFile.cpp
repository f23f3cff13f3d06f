#include "BlockFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr char Divisors[] =
    "1000 or a number that divides 1000 (500, 250, 200, 125, 100, 50, 40, 25, 20, 10, ...)";

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A field as a message quotes it: printable ASCII, at most 24 characters.
std::string Quoted(std::string_view field) {
    std::string text = "\"";
    for (const char c : field.substr(0, 24)) text += c >= 0x20 && c < 0x7F ? c : '?';
    return text + (field.size() > 24 ? "...\"" : "\"");
}

// A number as a spreadsheet writes it: an optional sign, decimals with a
// point (or, where the decimal mark is a comma, a comma), an exponent.
bool ParseNumber(std::string_view field, bool decimalComma, double& value) {
    field = Trimmed(field);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
    std::string text(field);
    if (decimalComma)
        for (char& c : text)
            if (c == ',') c = '.';
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return begin != end && error == std::errc() && stop == end && std::isfinite(value);
}

bool RowCountFits(size_t rows, const char* what, std::string& problem) {
    if (rows > 0 && rows <= size_t(SamplePairs) && SamplePairs % rows == 0) return true;
    problem = std::to_string(rows) + " " + what + "; a block needs " + Divisors;
    return false;
}

uint32_t Little(const unsigned char* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

double RoundedAway(double x) {
    return std::trunc(x >= 0.0 ? x + 0.5 : x - 0.5);
}
}  // namespace

bool UnitsFromName(std::string_view name, FileUnits& units) {
    if (name == "volts")
        units = FileUnits::Volts;
    else if (name == "codes")
        units = FileUnits::Codes;
    else if (name == "fraction")
        units = FileUnits::Fraction;
    else
        return false;
    return true;
}

std::string FileBlock::Where(size_t row, int column) const {
    if (wav) return "frame " + std::to_string(row) + ", channel " + std::to_string(column + 1);
    return "row " + std::to_string(rows[row]) + ", column " + std::to_string(column + 1);
}

FileKind KindOfFile(std::string_view bytes) {
    if (bytes.size() >= 12 && bytes.substr(0, 4) == "RIFF" && bytes.substr(8, 4) == "WAVE")
        return FileKind::Wav;
    return bytes.find('\0') == std::string_view::npos ? FileKind::Csv : FileKind::Neither;
}

bool ReadCsvBlock(std::string_view text, FileUnits units, FileBlock& block, std::string& problem) {
    block = FileBlock{};
    block.units = units;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    // A spreadsheet that writes a decimal comma separates its fields by
    // semicolons; it writes one column with no separator at all, so where a
    // header names one column the commas below it are decimal marks.
    bool decimalComma = text.find(';') != std::string_view::npos;
    char separator = decimalComma ? ';' : ',';
    bool headerAllowed = true;
    size_t row = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        ++row;
        if (line.empty()) continue;

        std::vector<std::string_view> fields;
        for (size_t from = 0;;) {
            const size_t next = line.find(separator, from);
            fields.push_back(line.substr(from, next == std::string_view::npos ? next : next - from));
            if (next == std::string_view::npos) break;
            from = next + 1;
        }
        double values[2] = {};
        if (!ParseNumber(fields[0], decimalComma, values[0]) && headerAllowed) {
            headerAllowed = false;  // the first row names its columns
            if (fields.size() == 1 && separator == ',') {
                decimalComma = true;
                separator = '\0';
            }
            continue;
        }
        headerAllowed = false;
        const std::string where = "row " + std::to_string(row);
        if (fields.size() > 2) {
            problem = where + ": " + std::to_string(fields.size()) +
                      " columns; a block file has one (DAC1) or two (DAC1, DAC2)";
            return false;
        }
        if (block.columns == 0) block.columns = int(fields.size());
        if (int(fields.size()) != block.columns) {
            problem = where + ": " + std::to_string(fields.size()) + " column" +
                      (fields.size() == 1 ? "" : "s") + " where the rows above have " +
                      std::to_string(block.columns);
            return false;
        }
        for (int column = 0; column < block.columns; ++column) {
            if (ParseNumber(fields[column], decimalComma, values[column])) continue;
            problem = where + ", column " + std::to_string(column + 1) + ": " +
                      Quoted(Trimmed(fields[column])) + " is not a number" +
                      (decimalComma ? " (the decimal mark is a comma here)" : "");
            return false;
        }
        if (block.Rows() == size_t(SamplePairs)) {
            problem = where + ": more than 1000 rows of values; a block needs " + std::string(Divisors);
            return false;
        }
        for (int column = 0; column < block.columns; ++column) block.values[column].push_back(values[column]);
        block.rows.push_back(row);
    }
    if (block.Rows() == 0) {
        problem = "no rows of values";
        return false;
    }
    return RowCountFits(block.Rows(), "rows of values", problem);
}

bool ReadWavFormat(const unsigned char* chunk, size_t size, WavFormat& format, std::string& problem) {
    constexpr uint16_t Extensible = 0xFFFE;
    if (size < 16) {
        problem = "its format chunk holds " + std::to_string(size) + " bytes, not the 16 of a format";
        return false;
    }
    format.tag = uint16_t(Little(chunk, 2));
    format.channels = uint16_t(Little(chunk + 2, 2));
    format.rate = Little(chunk + 4, 4);
    format.frameBytes = uint16_t(Little(chunk + 12, 2));
    format.bits = uint16_t(Little(chunk + 14, 2));
    if (format.tag != Extensible) return true;
    // The sub-format's GUID begins with the plain format's tag.
    if (size < 40) {
        problem = "its extensible format chunk holds " + std::to_string(size) + " bytes, not 40";
        return false;
    }
    format.tag = uint16_t(Little(chunk + 24, 2));
    return true;
}

bool ReadWavBlock(const WavFormat& format, const unsigned char* data, size_t size, FileBlock& block,
                  std::string& problem) {
    constexpr uint16_t IntegerPcm = 1, FloatPcm = 3;
    block = FileBlock{};
    const bool integer =
        format.tag == IntegerPcm && (format.bits == 16 || format.bits == 24 || format.bits == 32);
    const bool real = format.tag == FloatPcm && format.bits == 32;
    if (!integer && !real) {
        problem = format.tag == IntegerPcm ? "a WAV of " + std::to_string(format.bits) + "-bit integer PCM"
                  : format.tag == FloatPcm ? "a WAV of " + std::to_string(format.bits) + "-bit float samples"
                                           : "a WAV of format " + std::to_string(format.tag) + " (not PCM)";
        problem += "; qorvelctl reads 16-, 24- and 32-bit integer PCM and 32-bit float";
        return false;
    }
    if (format.channels != 1 && format.channels != 2) {
        problem =
            "a WAV of " + std::to_string(format.channels) + " channels; qorvelctl reads mono and stereo";
        return false;
    }
    const size_t sampleBytes = format.bits / 8;
    if (format.frameBytes != format.channels * sampleBytes) {
        problem = "its frames are said to be " + std::to_string(format.frameBytes) + " bytes, not the " +
                  std::to_string(format.channels * sampleBytes) + " of its format";
        return false;
    }
    if (size % format.frameBytes != 0) {
        problem = "its data chunk of " + std::to_string(size) + " bytes ends inside a frame";
        return false;
    }
    if (!RowCountFits(size / format.frameBytes, "frames", problem)) return false;

    block.wav = true;
    block.columns = format.channels;
    block.units = integer ? FileUnits::Codes : FileUnits::Fraction;
    block.rate = int32_t(std::min<uint32_t>(format.rate, INT32_MAX));
    for (size_t at = 0; at < size; at += sampleBytes) {
        const unsigned char* bytes = data + at;
        const uint32_t raw = Little(bytes, int(sampleBytes));
        double value = 0.0;
        if (real) {
            float sample;
            std::memcpy(&sample, &raw, sizeof sample);
            if (!std::isfinite(sample)) {
                problem = block.Where(at / format.frameBytes, int(at % format.frameBytes / sampleBytes)) +
                          ": not a number";
                return false;
            }
            value = sample;
        } else {
            // The upper 16 bits of the sample, as reducing its depth does.
            const int32_t sample = int32_t(raw << (32 - format.bits));
            value = sample >> 16;
        }
        block.values[at % format.frameBytes / sampleBytes].push_back(value);
    }
    return true;
}

bool BlockFromFile(const FileBlock& file, int channel, double rangeVolts, BlockSamples& samples,
                   std::string& problem) {
    if (file.columns == 2 && channel >= 0) {
        problem = std::string("--channel goes with one ") + (file.wav ? "channel" : "column") +
                  "; this file has two";
        return false;
    }
    samples = {};
    const size_t rows = file.Rows();
    for (int column = 0; column < file.columns; ++column) {
        const int target = file.columns == 2 ? column : channel < 0 ? 0 : channel;
        for (size_t row = 0; row < rows; ++row) {
            const double value = file.values[column][row];
            double code = value;
            std::string outside;
            switch (file.units) {
            case FileUnits::Volts:
                code = RoundedAway(value * 32768.0 / rangeVolts);
                if (code < -32768 || code > 32767)
                    outside = Number(value) + " V is outside " + Number(-rangeVolts) + " to " +
                              Number(32767 * rangeVolts / 32768) + " V (full scale " + Number(rangeVolts) +
                              " V)";
                break;
            case FileUnits::Codes:
                if (value != std::trunc(value))
                    outside = Number(value) + " is not a whole code";
                else if (value < -32768 || value > 32767)
                    outside = Number(value) + " is outside the codes -32768 to 32767";
                break;
            case FileUnits::Fraction:
                code = RoundedAway(value * 32767.0);
                if (!(value >= -1.0 && value <= 1.0)) outside = Number(value) + " is outside -1 to 1";
                break;
            }
            if (!outside.empty()) {
                problem = file.Where(row, column) + ": " + outside;
                return false;
            }
            for (size_t i = row; i < size_t(SamplePairs); i += rows) samples[target][i] = int32_t(code);
        }
    }
    return true;
}
