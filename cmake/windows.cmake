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
# and nothing else. On 32-bit Windows a stdcall function's symbol carries the bytes of
# its arguments (zqOpenInterface@8): the table is given so decorated, the linker exports
# the plain names (--kill-at), and the import library binds callers' decorated names to
# them. A wrong size here fails the link.
set(ZQBREL_DEF ${CMAKE_CURRENT_SOURCE_DIR}/driver/zqBrel20.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ZQBREL_ARG_BYTES zqOpenInterface=8 zqCloseInterface=4 zqGetVersion=0 zqGetInput=8
                       zqSetMotor=12 zqSetLamp=12 zqStartDriver=0 zqStopDriver=0)
  file(READ ${ZQBREL_DEF} def)
  foreach(entry ${ZQBREL_ARG_BYTES})
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 name)
    list(GET pair 1 bytes)
    string(REGEX REPLACE "([ \n])${name}( +@)" "\\1${name}@${bytes}\\2" def "${def}")
  endforeach()
  set(ZQBREL_DEF ${CMAKE_CURRENT_BINARY_DIR}/zqBrel20.def)
  file(WRITE ${ZQBREL_DEF} "${def}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS driver/zqBrel20.def)
endif()
add_library(zqBrel20 SHARED $<TARGET_OBJECTS:zqbrel_objs> driver/dll_main_win32.cpp ${ZQBREL_DEF})
set_target_properties(zqBrel20 PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
target_link_libraries(zqBrel20 PRIVATE Threads::Threads winmm)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(zqBrel20 PRIVATE -Wl,--kill-at)
  # The linker's own import library would name the plain symbols; this one the
  # decorated ones the callers use, each importing the plain name.
  find_program(KELVORA_DLLTOOL NAMES ${KELVORA_MINGW_TRIPLET}-dlltool dlltool REQUIRED)
  add_custom_command(TARGET zqBrel20 POST_BUILD
    COMMAND ${KELVORA_DLLTOOL} --kill-at --def ${ZQBREL_DEF} --dllname zqBrel20.dll
            --output-lib $<TARGET_LINKER_FILE:zqBrel20>
    VERBATIM)
endif()

# The same objects for the tests, which install the virtual OS layer.
add_library(zqbrel_static STATIC $<TARGET_OBJECTS:zqbrel_objs>)
target_link_libraries(zqbrel_static PUBLIC Threads::Threads winmm kelvora_portdriver)

add_library(kelvora_portdriver STATIC portdriver/port_program.cpp portdriver/service.cpp)

# --- the program's window-free code and the player -------------------------------------

add_library(kelvora_platform STATIC
  platform/platform.cpp platform/profile.cpp
  platform/console_win32.cpp platform/file_replace_win32.cpp platform/files_win32.cpp
  platform/installed_data_win32.cpp platform/os_family_win32.cpp
  platform/port_problem_win32.cpp platform/prog_dir.cpp platform/prog_dir_win32.cpp
  platform/user_text.cpp)
set_property(SOURCE platform/installed_data_win32.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             KELVORA_BIN_TO_DATA="../share/kelvora")
target_link_libraries(kelvora_platform PUBLIC shell32 ole32)
add_library(kelvora_access STATIC access/brel_face.cpp access/brel_mot_list.cpp
                                  access/brel_robot.cpp access/motion_guard.cpp)
target_link_libraries(kelvora_access PUBLIC kelvora_platform)
add_library(kelvora_settings STATIC settings/settings.cpp)
target_link_libraries(kelvora_settings PUBLIC kelvora_access kelvora_platform)
add_library(kelvora_app STATIC app/robot_faults.cpp app/script.cpp app/script_player.cpp)
target_link_libraries(kelvora_app PUBLIC kelvora_access kelvora_platform)

# The player binds zqBrel20.dll when it is loaded, as the program does.
add_executable(kelvora-play tools/kelvora_play.cpp)
target_link_libraries(kelvora-play PRIVATE kelvora_app kelvora_settings kelvora_access
                                           kelvora_platform zqBrel20)
target_compile_definitions(kelvora-play PRIVATE KELVORA_VERSION="${PROJECT_VERSION}")


# --- what the tests build on ----------------------------------------------------------

add_library(kelvora_sim STATIC sim/robot.cpp sim/virtual_box.cpp sim/virtual_box_parallel.cpp
                               sim/virtual_clock.cpp sim/virtual_os.cpp sim/virtual_parallel.cpp
                               sim/virtual_robot.cpp)
target_link_libraries(kelvora_sim PUBLIC kelvora_platform kelvora_portdriver Threads::Threads)

if(KELVORA_TESTS)
  include(cmake/windows_tests.cmake)
endif()

# The timer and a silent box's read through the Win32 layer (bench/windows_timer_twin).
if(KELVORA_BENCH)
  add_executable(driver_timer_twin bench/driver_timer_twin.cpp)
  target_link_libraries(driver_timer_twin PRIVATE zqbrel_static)
endif()
