# veltrane_add_unit_test(NAME n SOURCES a.cpp ... [LIBS l ...] [ARGS ...])
# One GoogleTest program registered with CTest. When cross-compiling, CTest
# runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine, or qemu-user for ARM).
function(veltrane_add_unit_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
  veltrane_emulated_tests(${T_NAME})
endfunction()

# Tests that map windows. Linux programs (native or under qemu-user) each run
# on an Xvfb of their own (tests/support/PrivateDisplay); Wine programs share
# the X server that scripts/test.sh starts, so they take turns on it.
function(veltrane_maps_windows)
  if(WIN32 AND CMAKE_CROSSCOMPILING AND ARGN)
    set_tests_properties(${ARGN} PROPERTIES RESOURCE_LOCK x_display)
    set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT VELTRANE_NEEDS_DISPLAY=1)
  endif()
endfunction()

# Tests of programs that run under an emulator in cross builds, Wine or
# qemu-user: cmake/wine-run.sh and cmake/qemu-run.sh answer 77 when this
# machine cannot run them (no Wine, no 32-bit Wine, no qemu-user), and CTest
# reports them as skipped with the reason, not as failed. With
# ONE_GTEST_EACH (each CTest test runs one GoogleTest test) a test that skips
# itself is reported as skipped as well, in every build.
function(veltrane_emulated_tests)
  cmake_parse_arguments(E "ONE_GTEST_EACH" "" "" ${ARGN})
  set(patterns "")
  if(E_ONE_GTEST_EACH)
    list(APPEND patterns "\\[  SKIPPED \\]")
  endif()
  if(CMAKE_CROSSCOMPILING AND E_UNPARSED_ARGUMENTS)
    set_tests_properties(${E_UNPARSED_ARGUMENTS} PROPERTIES SKIP_RETURN_CODE 77)
    list(APPEND patterns "(wine|qemu)-run: skipped")
  endif()
  if(patterns AND E_UNPARSED_ARGUMENTS)
    set_tests_properties(${E_UNPARSED_ARGUMENTS} PROPERTIES SKIP_REGULAR_EXPRESSION "${patterns}")
  endif()
endfunction()
