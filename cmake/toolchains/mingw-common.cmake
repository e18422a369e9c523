# Shared by both mingw-w64 toolchain files; QUORVANE_TRIPLET names the target.
include_guard(GLOBAL)

find_program(CMAKE_C_COMPILER NAMES ${QUORVANE_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUORVANE_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUORVANE_TRIPLET}-windres REQUIRED)

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
                OUTPUT_VARIABLE _quorvane_machine OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT _quorvane_machine STREQUAL QUORVANE_TRIPLET)
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} builds for '${_quorvane_machine}', not ${QUORVANE_TRIPLET}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: libgcc, libstdc++ and winpthread go into the exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine (the 32-bit exe in its WoW64 mode) through a wrapper that owns the build's
# Wine prefix, inside the build tree; a 64-bit build's programs run natively on every machine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run ${QUORVANE_WINE_RUN_OPTIONS}
    ${CMAKE_BINARY_DIR}/wineprefix)
