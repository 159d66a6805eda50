# SPDX-License-Identifier: MIT
# Cross build for 64-bit ARM: Raspberry Pi OS (64-bit), Debian arm64.
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake (scripts/package
# --arch arm64, scripts/test arm64).
set(KELVORA_CROSS_TRIPLET aarch64-linux-gnu)
set(KELVORA_CROSS_QEMU qemu-aarch64-static)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
