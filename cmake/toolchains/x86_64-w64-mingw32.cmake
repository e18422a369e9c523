# The test build: the same sources for 64-bit Windows, run under 64-bit Wine.
include_guard(GLOBAL)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUORVANE_TRIPLET x86_64-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run under wine64 through a wrapper that owns the build's Wine prefix, inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run ${CMAKE_BINARY_DIR}/wineprefix)
