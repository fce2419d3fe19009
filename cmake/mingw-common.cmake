# Cross build for Windows with Debian's MinGW-w64 compilers of the posix thread model,
# shared by the toolchain files of both targets: each sets `mingw_triple` (and the
# processor) and includes this file. The libraries that scripts/build-windows-deps.sh
# builds for the target are found under third_party/build/<triple>, the compilers' own
# ones under /usr/<triple>.
if(NOT mingw_triple)
  message(FATAL_ERROR "mingw-common.cmake: set mingw_triple before including it")
endif()

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_AR ${mingw_triple}-ar)
set(CMAKE_RANLIB ${mingw_triple}-ranlib)

get_filename_component(nocunzip_windows_deps
  "${CMAKE_CURRENT_LIST_DIR}/../third_party/build/${mingw_triple}" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${nocunzip_windows_deps} /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program and the library need no MinGW run-time DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Link zlib (Debian's libz-mingw-w64-dev) statically.
set(ZLIB_USE_STATIC_LIBS ON)

# pkg-config looks only at the libraries built for this target.
set(ENV{PKG_CONFIG_LIBDIR} "${nocunzip_windows_deps}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
