# Cross build for 64-bit Windows (x86_64-w64-mingw32); the rest is in mingw-common.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
