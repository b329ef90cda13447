# Cross build for 64-bit ARM Linux with Debian's aarch64-linux-gnu gcc and
# the arm64 libraries of Debian's multiarch (dpkg --add-architecture arm64;
# scripts/install-deps.sh installs them).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VELTRANE_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VELTRANE_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELTRANE_CROSS_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELTRANE_CROSS_TRIPLE})

# Multiarch keeps the arm64 libraries beside this machine's, under /usr:
# search only their folders (and the architecture-free headers), never the
# x86-64 ones. Programs come from this machine.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/include/x86_64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE /usr/bin/${VELTRANE_CROSS_TRIPLE}-pkg-config CACHE FILEPATH
    "pkg-config for the arm64 libraries")

# CTest runs the test programs under qemu-user.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-run.sh)
