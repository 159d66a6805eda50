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
