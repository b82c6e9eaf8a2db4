# Cross-build for 32-bit Windows (i686) with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZUK_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
