# The MinGW-w64 compilers of one thread model. The tested builds take posix:
# the win32-thread variant lacks std::mutex, which GoogleTest needs. The
# release builds, which build no tests and whose programs start no thread,
# take win32: its runtime locks with the system's own calls, where the posix
# one links a threads library into every executable.
if(NOT QORVEL_THREAD_MODEL)
  set(QORVEL_THREAD_MODEL posix)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QORVEL_THREAD_MODEL)
set(CMAKE_C_COMPILER ${QORVEL_TRIPLE}-gcc-${QORVEL_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${QORVEL_TRIPLE}-g++-${QORVEL_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${QORVEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QORVEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: no libstdc++/libgcc DLLs to ship beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
