# veltrane_add_unit_test(NAME n SOURCES a.cpp ... [LIBS l ...] [ARGS ...])
# One GoogleTest program registered with CTest. When cross-compiling, CTest
# runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
function(veltrane_add_unit_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
endfunction()
