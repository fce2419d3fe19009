# Cross build for 32-bit Windows (i686-w64-mingw32); the rest is in mingw-common.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
