# Cross build for 32-bit Windows with mingw-w64 (i686-w64-mingw32).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORVANTA_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
