// Reads load's and preview's FILE: a CSV file through the portable reader, a
// WAV file's chunks through the system's RIFF calls (winmm's mmio...).
#pragma once

#include <string>

#include "BlockFile.h"

// False, with what is wrong and where (naming the file), when the file
// cannot be read or holds no block. The path is UTF-8, any letters.
bool ReadBlockFile(const std::string& path, FileUnits units, FileBlock& block, std::string& problem);
