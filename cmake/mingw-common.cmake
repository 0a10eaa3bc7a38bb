# Shared by the MinGW-w64 toolchain files; WENDREL_MINGW_TRIPLE names the
# target. The -posix compilers give std::thread and std::mutex; -static
# links libstdc++, libgcc and winpthread in, so that the program imports
# system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${WENDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WENDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${WENDREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WENDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No link time in the PE header: a relink of the same code gives the same
# file, so the zip's program and the installer's are byte for byte alike
# whenever each packaging pass links.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
