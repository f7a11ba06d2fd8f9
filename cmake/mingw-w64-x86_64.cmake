# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling the portable parts (core/, render/, res/, audio/ without its
# sound devices, and their tests) for 64-bit Windows with Debian's mingw-w64.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The tests run under Wine (tools/test-windows.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex, as on the other platforms.
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libstdc++, libgcc or winpthread DLLs to find.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest starts every test executable through Wine.
find_program(SOLVARI_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(SOLVARI_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SOLVARI_WINE})
endif()
