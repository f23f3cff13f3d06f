# The build for the 32-bit board drivers. Compiled and checked here, never run:
# this machine's kernel runs no 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QORVEL_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# x87 extended precision would round the phasor differently from the 64-bit build.
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
