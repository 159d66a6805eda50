# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with MinGW-w64 (posix-thread flavour). Tests run under
# Wine through ctest's cross-compiling emulator.
set(KELVORA_MINGW_TRIPLET x86_64-w64-mingw32)
set(KELVORA_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
