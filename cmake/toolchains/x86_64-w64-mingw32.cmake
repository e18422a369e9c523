# The second compiler's build: the same sources for 64-bit Windows, tested like the shipped exe.
include_guard(GLOBAL)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUORVANE_TRIPLET x86_64-w64-mingw32)
set(QUORVANE_WINE_RUN_OPTIONS --64-bit)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
