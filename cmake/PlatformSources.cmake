# The one rule for platform code: each concern has a file per platform beside its
# platform-neutral code, CONCERN-win32.cpp on Windows and, elsewhere, CONCERN-linux.cpp
# where it exists and the build is for Linux (code that uses what only Linux offers) or
# else CONCERN-posix.cpp.
#
#   nocunzip_platform_sources(OUT_VARIABLE concern...)
#
# sets OUT_VARIABLE to the files of the concerns (paths below the calling CMakeLists.txt).
function(nocunzip_platform_sources out_variable)
  set(sources)
  foreach(concern IN LISTS ARGN)
    if(WIN32)
      set(source ${concern}-win32.cpp)
    elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux"
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${concern}-linux.cpp)
      set(source ${concern}-linux.cpp)
    else()
      set(source ${concern}-posix.cpp)
    endif()
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${source})
      message(FATAL_ERROR "${concern} has no code for this platform (${source})")
    endif()
    list(APPEND sources ${source})
  endforeach()
  set(${out_variable} ${sources} PARENT_SCOPE)
endfunction()
