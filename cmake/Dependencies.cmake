# Third-party pieces the build takes from Debian packages.

# GoogleTest: the system package natively. Debian ships no MinGW build of it,
# so cross builds compile its sources (libgtest-dev puts them in
# /usr/src/googletest) with the target compiler, once per build tree.
if(VELTRANE_TESTS)
  if(CMAKE_CROSSCOMPILING)
    if(NOT TARGET GTest::gtest_main)
      set(VELTRANE_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH
          "GoogleTest sources for cross builds")
      if(NOT EXISTS ${VELTRANE_GTEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${VELTRANE_GTEST_SOURCE}; "
                            "run scripts/install-deps.sh")
      endif()
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
      add_subdirectory(${VELTRANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
      # Its sources are not ours to keep warning-free under our flags.
      foreach(t gtest gtest_main)
        target_compile_options(${t} PRIVATE -w)
      endforeach()
      if(NOT TARGET GTest::gtest)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
      endif()
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()
