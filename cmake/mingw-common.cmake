# The -posix MinGW-w64 compilers: the win32-thread variant lacks std::mutex,
# which GoogleTest needs.
set(CMAKE_C_COMPILER ${QORVEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORVEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QORVEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QORVEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: no libstdc++/libgcc DLLs to ship beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
