# SPDX-License-Identifier: MIT
# What every cross build on a Debian machine shares; a toolchain file per target sets
# KELVORA_CROSS_TRIPLET (the GNU triplet, also the multiarch folder), KELVORA_CROSS_QEMU
# (qemu's user-mode emulator for it) and CMAKE_SYSTEM_PROCESSOR, then includes this.
# scripts/setup-cross installs the cross compiler and the target's development packages.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${KELVORA_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KELVORA_CROSS_TRIPLET}-g++)
# Multiarch: the target's libraries lie in /usr/lib/TRIPLET beside the machine's own, its
# CMake packages in /usr/lib/TRIPLET/cmake, the headers in /usr/include: no sysroot, and a
# program found is one of this machine's.
set(CMAKE_LIBRARY_ARCHITECTURE ${KELVORA_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# moc, uic and rcc are this machine's (qt6-base-dev-tools); Qt's CMake packages find them
# through the host Qt's own packages.
execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
                OUTPUT_VARIABLE kelvora_build_multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QT_HOST_PATH /usr CACHE PATH "Prefix of the Qt whose tools run on this machine")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${kelvora_build_multiarch}/cmake
    CACHE PATH "CMake packages of the Qt whose tools run on this machine")

# The target's programs run under qemu-user (ctest, gtest's test discovery). No binfmt_misc
# is needed: ctest starts the emulator itself. -L /: the target's loader and libraries are
# installed under / by multiarch (/lib/ld-linux-*.so.*, /usr/lib/TRIPLET).
find_program(KELVORA_CROSS_EMULATOR ${KELVORA_CROSS_QEMU})
if(KELVORA_CROSS_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVORA_CROSS_EMULATOR} -L /)
endif()

# lupdate and lrelease are tools too: the host's LinguistTools package, whose programs run
# here (the target's own package would name programs for the target).
set(Qt6LinguistTools_DIR ${QT_HOST_PATH_CMAKE_DIR}/Qt6LinguistTools)
