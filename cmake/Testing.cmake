# GoogleTest through CTest. Linux uses Debian's libgtest-dev; a cross build compiles the
# same sources from /usr/src/googletest.
enable_testing()
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest 1.12 names its targets GTest::* itself; older sources do not.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Whether this build's test programs can run here: natively, or through an emulator that the
# tool-chain file names (qemu-i386 for the 32-bit Linux build). CMake starts every test
# program through CMAKE_CROSSCOMPILING_EMULATOR itself.
if(NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR)
  set(NOCUNZIP_TESTS_RUN ON)
else()
  set(NOCUNZIP_TESTS_RUN OFF)
endif()

# nocunzip_test(NAME SOURCES... LIBS ...): a GoogleTest executable registered with CTest,
# each of its tests labelled NAME (ctest -L NAME).
function(nocunzip_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOCUNZIP_TESTS_RUN)
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${name})
  endif()
endfunction()
