// Settings files as Notepad writes them today: UTF-8, with or without a
// byte-order mark. The reader works on code page 1251 bytes (the program's
// own texts and names are 1251), so such a file is converted first. Portable.
#pragma once

#include <cstdint>

// True when the size bytes of data are UTF-8: they begin with the byte-order
// mark, or they are valid UTF-8 and hold a byte above 0x7F. Russian text in
// 1251 is never valid UTF-8 in practice (two Cyrillic letters in a row make
// an invalid sequence), and a file of ASCII alone reads the same either way.
bool IsUtf8Text(const char* data, int32_t size);

// Converts UTF-8 to code page 1251 in place, the byte-order mark dropped;
// size becomes the new length, never more than before. A character 1251
// lacks, or a byte that starts no valid sequence, becomes "?".
void ConvertUtf8To1251(char* data, int32_t& size);
