# veltrane_add_unit_test(NAME n SOURCES a.cpp ... [LIBS l ...] [ARGS ...])
# One GoogleTest program registered with CTest. When cross-compiling, CTest
# runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
function(veltrane_add_unit_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
  veltrane_wine_tests(${T_NAME})
endfunction()

# Tests that map windows. Natively each test program runs on an Xvfb of its
# own (tests/support/PrivateDisplay); Wine programs share the X server that
# scripts/test.sh starts, so they take turns on it.
function(veltrane_maps_windows)
  if(CMAKE_CROSSCOMPILING AND ARGN)
    set_tests_properties(${ARGN} PROPERTIES RESOURCE_LOCK x_display)
    set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT VELTRANE_NEEDS_DISPLAY=1)
  endif()
endfunction()

# Tests of programs that run under Wine in cross builds: cmake/wine-run.sh
# answers 77 when this machine cannot run them (no Wine, or no 32-bit Wine),
# and CTest reports them as skipped with the reason, not as failed.
function(veltrane_wine_tests)
  if(CMAKE_CROSSCOMPILING AND ARGN)
    set_tests_properties(${ARGN} PROPERTIES SKIP_RETURN_CODE 77 SKIP_REGULAR_EXPRESSION "wine-run: skipped")
  endif()
endfunction()
