# The Windows build (preset "windows", cross-compiled with mingw-w64):
# Controller.plug as a 32-bit DLL on the Win32 platform layer, and the test
# host velastra.exe that the Wine tests run.  Included by the top-level
# CMakeLists.txt after the core library, in place of the Linux targets.
enable_language(RC)

# Both programs side by side, as velastra.exe and its plug-in are installed.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# ---- The resource script, generated from the core's tables ---------------------
# make_rc is a build tool: it runs here, so it is built with this machine's
# own compiler from the core's table sources (which include no OS header).
find_program(CONTROLLER_BUILD_CXX NAMES c++ g++ clang++ REQUIRED)
set(_rc_tables
  ${PROJECT_SOURCE_DIR}/src/settings/dialog_resource.cpp
  ${PROJECT_SOURCE_DIR}/src/plugin/resources.cpp)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/make_rc
  COMMAND ${CONTROLLER_BUILD_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}/src
          -I${PROJECT_SOURCE_DIR}/include
          ${PROJECT_SOURCE_DIR}/tools/make_rc.cpp ${_rc_tables}
          -o ${CMAKE_BINARY_DIR}/make_rc
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_rc.cpp ${_rc_tables}
          ${PROJECT_SOURCE_DIR}/src/settings/messages.h ${PROJECT_SOURCE_DIR}/src/plugin/messages.h
          ${PROJECT_SOURCE_DIR}/src/plugin/resources.h ${PROJECT_SOURCE_DIR}/src/settings/dialog_resource.h
          ${PROJECT_SOURCE_DIR}/src/platform/platform.h
  COMMENT "Building the resource-script generator for this machine")
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/controller.rc
  COMMAND ${CMAKE_BINARY_DIR}/make_rc ${CMAKE_BINARY_DIR}/controller.rc
  DEPENDS ${CMAKE_BINARY_DIR}/make_rc
  COMMENT "Generating controller.rc: dialog 101 and the string table")

# ---- The import library of velastra.exe's vl_ functions -------------------------
set(_velastra_def ${PROJECT_SOURCE_DIR}/src/platform/win32/velastra.def)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/libvelastra.a
  COMMAND ${CMAKE_DLLTOOL} -d ${_velastra_def} -l ${CMAKE_BINARY_DIR}/libvelastra.a
  DEPENDS ${_velastra_def}
  COMMENT "Making the import library of velastra.exe")
add_custom_target(velastra_import DEPENDS ${CMAKE_BINARY_DIR}/libvelastra.a)

# ---- The DLL's start file --------------------------------------------------------
# crtbegin.c takes the place of the compiler's crtbegin.o (which may call
# LoadLibraryA and FreeLibrary under the loader lock): the compiler finds it
# first through -B, so the link order of the start files stays its own.
set(_startfiles ${CMAKE_BINARY_DIR}/startfiles)
add_custom_command(
  OUTPUT ${_startfiles}/crtbegin.o
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_startfiles}
  COMMAND ${CMAKE_C_COMPILER} -O2 -fno-asynchronous-unwind-tables -fno-exceptions
          -c ${PROJECT_SOURCE_DIR}/src/platform/win32/crtbegin.c -o ${_startfiles}/crtbegin.o
  DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win32/crtbegin.c
  COMMENT "Building the DLL's start file")
add_custom_target(controller_startfiles DEPENDS ${_startfiles}/crtbegin.o)

# ---- Controller.plug ------------------------------------------------------------
add_library(controller_plug SHARED
  src/entry/win32_attach.c src/entry/win32.cpp
  src/platform/win32/serial.cpp src/platform/win32/profile.cpp src/platform/win32/clock.cpp
  src/platform/win32/module.cpp src/platform/win32/window_system.cpp
  ${CMAKE_BINARY_DIR}/controller.rc)
target_include_directories(controller_plug PRIVATE src include)
add_dependencies(controller_plug velastra_import controller_startfiles)
# The entry point runs before any code built for SSE2 and checks the
# processor; it is built without SSE2 itself.
set_source_files_properties(src/entry/win32_attach.c PROPERTIES
  COMPILE_OPTIONS "-mno-sse;-mno-sse2;-mfpmath=387;-mgeneral-regs-only")
set_property(TARGET controller_plug APPEND PROPERTY LINK_DEPENDS ${_startfiles}/crtbegin.o)
target_link_options(controller_plug PRIVATE -B${_startfiles}/ -Wl,-e,_ControllerEntry@12)
target_link_libraries(controller_plug PRIVATE
  -Wl,--whole-archive controller_core -Wl,--no-whole-archive
  ${CMAKE_BINARY_DIR}/libvelastra.a user32 gdi32 kernel32)
set_target_properties(controller_plug PROPERTIES
  OUTPUT_NAME "Controller" PREFIX "" SUFFIX ".plug")
# Nothing but system DLLs and velastra.exe: the C and C++ runtimes' own
# parts are linked in, and no import library of the plug-in is made.
target_link_options(controller_plug PRIVATE -static -static-libgcc -static-libstdc++
  -Wl,--no-insert-timestamp)

# ---- velastra.exe: the test host the Wine tests run --------------------------------
add_executable(velastra tests/windows/velastra_host.cpp tests/windows/script_host.cpp
  tests/windows/simple_vl.cpp)
target_include_directories(velastra PRIVATE include tests/windows)
target_link_libraries(velastra PRIVATE user32 gdi32)
target_link_options(velastra PRIVATE -static -static-libgcc -static-libstdc++)

# ---- platform_probe.exe: what the Windows layer makes of its inputs -----------------
add_executable(platform_probe tests/windows/platform_probe.cpp src/platform/win32/serial.cpp
  src/platform/win32/clock.cpp)
target_include_directories(platform_probe PRIVATE src include)
target_link_libraries(platform_probe PRIVATE kernel32)
target_link_options(platform_probe PRIVATE -static -static-libgcc -static-libstdc++)

# ---- Install and the zip for Windows users -------------------------------------------
install(TARGETS controller_plug RUNTIME DESTINATION . LIBRARY DESTINATION . COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-install.txt DESTINATION . RENAME INSTALL.txt
  COMPONENT runtime)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Controller-plug)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime)
include(CPack)
