# SPDX-License-Identifier: MIT
# The Windows build (MinGW-w64, cmake/toolchain-mingw-*.cmake): the driver DLL with its
# Win32 layer, the headless player, the Windows tests and the timer benchmark. The
# windows themselves need Qt for Windows, which this build does not have.
#
# Every program and the DLL carry their C and C++ runtimes inside: they need nothing
# but Windows. The tests run under Wine through the cross-compiling emulator.
if(KELVORA_GUI)
  message(WARNING "KELVORA_GUI: the Qt windows are not built for Windows here")
endif()

include_directories(${CMAKE_SOURCE_DIR})
add_link_options(-static)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# --- the driver ----------------------------------------------------------------------

set(ZQBREL_CORE_SOURCES driver/driver.cpp driver/parallel.cpp driver/serial.cpp driver/trace.cpp)
set(ZQBREL_WIN32_SOURCES driver/os/win32_os.cpp driver/os/win32_parallel.cpp
                         driver/os/win32_serial.cpp driver/os/win32_timer.cpp)
add_library(zqbrel_objs OBJECT ${ZQBREL_CORE_SOURCES} ${ZQBREL_WIN32_SOURCES})
target_compile_definitions(zqbrel_objs PUBLIC ZQBREL_BUILDING)
target_link_libraries(zqbrel_objs PUBLIC Threads::Threads)

# zqBrel20.dll: the eight functions, undecorated, at the ordinals of the export table,
# and nothing else. The 32-bit names are bound to their decorated stdcall symbols.
add_library(zqBrel20 SHARED $<TARGET_OBJECTS:zqbrel_objs> driver/dll_main_win32.cpp
                            driver/zqBrel20.def)
set_target_properties(zqBrel20 PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
target_link_libraries(zqBrel20 PRIVATE Threads::Threads winmm)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(zqBrel20 PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# The same objects for the tests, which install the virtual OS layer.
add_library(zqbrel_static STATIC $<TARGET_OBJECTS:zqbrel_objs>)
target_link_libraries(zqbrel_static PUBLIC Threads::Threads winmm kelvora_portdriver)

add_library(kelvora_portdriver STATIC portdriver/port_program.cpp portdriver/service.cpp)

# --- what the tests build on ----------------------------------------------------------

add_library(kelvora_platform STATIC platform/platform.cpp)
add_library(kelvora_sim STATIC sim/robot.cpp sim/virtual_box.cpp sim/virtual_box_parallel.cpp
                               sim/virtual_clock.cpp sim/virtual_os.cpp sim/virtual_parallel.cpp
                               sim/virtual_robot.cpp)
target_link_libraries(kelvora_sim PUBLIC kelvora_platform kelvora_portdriver Threads::Threads)

if(KELVORA_TESTS)
  include(cmake/windows_tests.cmake)
endif()
