# libpng for the current MinGW target, compiled from Debian's upstream
# tarball (scripts/fetch-libpng.sh puts it in /var/cache/veltrane/libpng).
# Unpacked into the build tree and built as an ordinary static library there,
# so it compiles once per build tree. Defines the target veltrane_libpng
# (libpng plus the static zlib of libz-mingw-w64-dev). The fuzz build uses it
# natively too, so that libpng is instrumented with the fuzzer (system zlib).
if(TARGET veltrane_libpng)
  return()
endif()

set(VELTRANE_LIBPNG_TARBALL "" CACHE FILEPATH
    "libpng1.6_*.orig.tar.* to build for Windows (searched in the fetch cache when empty)")
set(_png_tarball "${VELTRANE_LIBPNG_TARBALL}")
if(NOT _png_tarball)
  set(_png_dirs "$ENV{VELTRANE_LIBPNG_CACHE}" /var/cache/veltrane/libpng ${CMAKE_BINARY_DIR}/third_party)
  foreach(_dir IN LISTS _png_dirs)
    if(_dir)
      file(GLOB _found "${_dir}/libpng1.6_*.orig.tar.*")
      if(_found)
        list(SORT _found COMPARE NATURAL)
        list(POP_BACK _found _png_tarball)
        break()
      endif()
    endif()
  endforeach()
endif()
if(NOT _png_tarball OR NOT EXISTS "${_png_tarball}")
  message(FATAL_ERROR "libpng source tarball not found: run scripts/fetch-libpng.sh as root "
                      "(or set VELTRANE_LIBPNG_TARBALL)")
endif()

set(_png_root ${CMAKE_BINARY_DIR}/third_party/libpng)
set(_png_stamp ${_png_root}/.unpacked-from)
set(_png_previous "")
if(EXISTS ${_png_stamp})
  file(READ ${_png_stamp} _png_previous)
endif()
if(NOT _png_previous STREQUAL _png_tarball OR NOT EXISTS ${_png_root}/src/png.h)
  message(STATUS "Unpacking ${_png_tarball}")
  file(REMOVE_RECURSE ${_png_root})
  file(ARCHIVE_EXTRACT INPUT ${_png_tarball} DESTINATION ${_png_root}/unpack)
  file(GLOB _png_top LIST_DIRECTORIES true ${_png_root}/unpack/libpng-*)
  if(NOT _png_top OR NOT EXISTS ${_png_top}/png.h)
    message(FATAL_ERROR "${_png_tarball} does not hold libpng sources")
  endif()
  file(RENAME ${_png_top} ${_png_root}/src)
  file(REMOVE_RECURSE ${_png_root}/unpack)
  file(WRITE ${_png_stamp} "${_png_tarball}")
endif()
set(_png_src ${_png_root}/src)
configure_file(${_png_src}/scripts/pnglibconf.h.prebuilt ${_png_src}/pnglibconf.h COPYONLY)

if(WIN32)
  find_library(VELTRANE_MINGW_ZLIB NAMES libz.a REQUIRED)
  find_path(VELTRANE_MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
  set(_png_zlib ${VELTRANE_MINGW_ZLIB})
  set(_png_zlib_include ${VELTRANE_MINGW_ZLIB_INCLUDE})
else()
  find_package(ZLIB REQUIRED)
  set(_png_zlib ZLIB::ZLIB)
  set(_png_zlib_include "")
endif()

set(_png_files png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset
    pngtrans pngwio pngwrite pngwtran pngwutil)
list(TRANSFORM _png_files PREPEND ${_png_src}/)
list(TRANSFORM _png_files APPEND .c)
add_library(veltrane_libpng STATIC ${_png_files})
target_include_directories(veltrane_libpng SYSTEM PUBLIC ${_png_src} ${_png_zlib_include})
target_link_libraries(veltrane_libpng PUBLIC ${_png_zlib})
# Plain C, none of the SIMD filter code; not ours to keep warning-free.
target_compile_options(veltrane_libpng PRIVATE -w)
