# Cross build for 32-bit Windows with Debian's MinGW-w64 gcc.
# The -posix variants carry winpthreads, so std::thread works in the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VELTRANE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VELTRANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELTRANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELTRANE_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${VELTRANE_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump for PE files")

# Libraries and headers only from the MinGW sysroot; programs from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VELTRANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test programs under Wine, in a prefix of this build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
