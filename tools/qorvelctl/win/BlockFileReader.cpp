#include "win/BlockFileReader.h"

#include "win/ConsoleOutput.h"

#include <windows.h>
#include <mmsystem.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {
// Far more than any block's file: 1000 stereo frames of 32 bits are 8 KB.
constexpr std::streamsize MostBytes = 4 << 20;

// The file's chunks: RIFF of form WAVE, its format chunk, its data chunk.
bool ReadWav(const std::string& path, FileBlock& block, std::string& problem) {
    std::wstring name = WideFrom(path, Utf8);
    HMMIO file = mmioOpenW(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF | MMIO_DENYWRITE);
    if (!file) {
        problem = "cannot be opened as a RIFF file";
        return false;
    }
    struct Closer {
        HMMIO file;
        ~Closer() { mmioClose(file, 0); }
    } closer{file};

    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
        problem = "not a WAV file (no RIFF form WAVE)";
        return false;
    }
    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        problem = "a WAV file without a format chunk";
        return false;
    }
    unsigned char format[40] = {};
    const LONG formatBytes = LONG(std::min<DWORD>(chunk.cksize, sizeof format));
    WavFormat wav;
    if (mmioRead(file, reinterpret_cast<HPSTR>(format), formatBytes) != formatBytes) {
        problem = "its format chunk is cut short";
        return false;
    }
    if (!ReadWavFormat(format, size_t(formatBytes), wav, problem)) return false;
    mmioAscend(file, &chunk, 0);

    chunk = MMCKINFO{};
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        problem = "a WAV file without a data chunk";
        return false;
    }
    if (chunk.cksize > DWORD(MostBytes)) {
        problem = "its data chunk holds " + std::to_string(chunk.cksize) + " bytes, far more than a block";
        return false;
    }
    std::vector<unsigned char> data(chunk.cksize);
    const LONG got =
        data.empty() ? 0 : mmioRead(file, reinterpret_cast<HPSTR>(data.data()), LONG(data.size()));
    if (got != LONG(data.size())) {
        problem = "its data chunk is cut short (" + std::to_string(got < 0 ? 0 : got) + " of " +
                  std::to_string(data.size()) + " bytes)";
        return false;
    }
    return ReadWavBlock(wav, data.data(), data.size(), block, problem);
}
}  // namespace

bool ReadBlockFile(const std::string& path, FileUnits units, FileBlock& block, std::string& problem) {
    std::ifstream file(std::filesystem::path(WideFrom(path, Utf8)), std::ios::binary);
    std::string bytes;
    if (file) {
        file.seekg(0, std::ios::end);
        const std::streamoff size = file.tellg();
        file.seekg(0);
        if (size > MostBytes) {
            problem = path + ": " + std::to_string(size) + " bytes, far more than a block's file";
            return false;
        }
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (!file && !file.eof()) {
        problem = path + ": cannot be read (missing, a folder, or not readable)";
        return false;
    }
    bool read = false;
    switch (KindOfFile(bytes)) {
    case FileKind::Wav: read = ReadWav(path, block, problem); break;
    case FileKind::Csv: read = ReadCsvBlock(bytes, units, block, problem); break;
    case FileKind::Neither: problem = "neither CSV text nor a WAV file"; break;
    }
    if (!read) problem = path + ": " + problem;
    return read;
}
