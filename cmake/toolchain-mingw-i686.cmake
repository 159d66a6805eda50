# SPDX-License-Identifier: MIT
# Cross build for 32-bit Windows with MinGW-w64 (posix-thread flavour: std::thread and
# std::mutex need it). Tests run under Wine through ctest's cross-compiling emulator.
set(KELVORA_MINGW_TRIPLET i686-w64-mingw32)
set(KELVORA_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
