# The shipped launcher: 32-bit Windows, mingw-w64 (posix thread model), linked statically
# so that the exe imports system DLLs only.
include_guard(GLOBAL)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUORVANE_TRIPLET i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
