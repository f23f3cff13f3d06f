// The request block's size as the drivers know it: 40 bytes with a 64-bit
// buffer pointer; the i686 build proves its 36 bytes here at compile time.
#pragma once

#include <cstdint>

#include "device/AdcDevice.h"

#if defined(_WIN32) && !defined(_WIN64)
constexpr uint32_t RequestBlockSize = 36;
#else
constexpr uint32_t RequestBlockSize = 40;
#endif
static_assert(sizeof(DeviceRequest) == RequestBlockSize);
