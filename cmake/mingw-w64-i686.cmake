# The build for the 32-bit board drivers. This machine's kernel runs no 32-bit
# code: its tests run under a WoW64 Wine (32-bit programs inside 64-bit
# processes), which scripts/test finds and brings up as a rig of its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QORVEL_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# x87 extended precision would round the phasor differently from the 64-bit build.
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
# Windows test executables run under the rig's Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
