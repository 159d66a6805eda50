# SPDX-License-Identifier: MIT
# The Windows tests. The virtual-time tests are the driver's own, built for Windows and
# run under Wine: they hold the one driver core to the same verdicts on both platforms.
# GoogleTest comes from Debian's source package, built with the cross compiler.
set(KELVORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${KELVORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
enable_testing()

# kelvora_add_windows_test(name SOURCES ... LIBS ... [TIMEOUT s]): one ctest test per
# program, so that Wine starts once per program and not once per case.
function(kelvora_add_windows_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS windows)
endfunction()

kelvora_add_windows_test(driver_virtual_test
  SOURCES tests/driver/driver_virtual_test.cpp
  LIBS zqbrel_static kelvora_sim)
kelvora_add_windows_test(driver_parallel_test
  SOURCES tests/driver_parallel/parallel_direct_test.cpp
          tests/driver_parallel/parallel_port_driver_test.cpp
          tests/driver_parallel/parallel_open_close_test.cpp
  LIBS zqbrel_static kelvora_sim)
kelvora_add_windows_test(portdriver_test
  SOURCES tests/driver_parallel/port_program_test.cpp
  LIBS kelvora_portdriver)

# The session client the end-to-end tests run under Wine; on 32-bit Windows it can also
# tell how many bytes each function leaves on the stack.
add_executable(zqbrel_client tests/windows/zqbrel_client.cpp)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  enable_language(ASM)
  target_sources(zqbrel_client PRIVATE tests/windows/stdcall_probe_i686.S)
endif()
add_dependencies(zqbrel_client zqBrel20)

# End to end under Wine, run by the native harness (KELVORA_NATIVE_DIR: a native build
# with KELVORA_WINDOWS_HARNESS on). Wine's COM1 must be mapped to $KELVORA_WINE_COM1;
# the tests share it, so they run one at a time.
set(KELVORA_NATIVE_DIR "" CACHE PATH "Native build with the Windows test harness")
if(KELVORA_NATIVE_DIR)
  add_test(NAME windows_e2e_test COMMAND ${KELVORA_NATIVE_DIR}/bin/windows_e2e_test --gtest_brief=1)
  set_tests_properties(windows_e2e_test PROPERTIES TIMEOUT 600 LABELS windows
    RESOURCE_LOCK wine_com1
    ENVIRONMENT "KELVORA_WINDOWS_BIN=${CMAKE_BINARY_DIR}/bin;KELVORA_WINE_LOADER=${KELVORA_WINE_LOADER}")
endif()

# The Windows side of the platform layer, and the Win32 layer's serial settings.
kelvora_add_windows_test(platform_win32_test
  SOURCES tests/windows/platform_win32_test.cpp
  LIBS kelvora_platform zqbrel_static)
