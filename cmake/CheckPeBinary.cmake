# cmake -DOBJDUMP=... -DBINARY=file.dll -DFORMAT=pei-x86-64 [-DEXPORTS=a,b] -P CheckPeBinary.cmake
#
# A Windows binary we ship must load on a bare Windows: it may import only
# DLLs that come with Windows (no MinGW runtime, no libpng or zlib DLLs), and
# the plug-in must export exactly its entry points, undecorated.
foreach(v OBJDUMP BINARY FORMAT)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "CheckPeBinary: ${v} not given")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${BINARY}
                OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed: ${err}")
endif()

if(NOT dump MATCHES "file format ${FORMAT}")
  string(REGEX MATCH "file format [^\n]*" found "${dump}")
  message(FATAL_ERROR "${BINARY}: expected ${FORMAT}, found '${found}'")
endif()

# Windows' own DLLs (lower case); api-ms-win-* sets are part of Windows too.
set(system_dlls
  kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll wininet.dll msvcrt.dll
  ole32.dll oleaut32.dll comdlg32.dll comctl32.dll shlwapi.dll winmm.dll ws2_32.dll
  ntdll.dll version.dll imm32.dll uxtheme.dll msimg32.dll bcrypt.dll crypt32.dll
  secur32.dll rpcrt4.dll dwmapi.dll ucrtbase.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(bad "")
set(imports "")
foreach(line ${lines})
  string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  list(APPEND imports ${dll})
  list(FIND system_dlls ${lower} found)
  if(found EQUAL -1 AND NOT lower MATCHES "^api-ms-win-")
    list(APPEND bad ${dll})
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "${BINARY} imports non-system DLLs: ${bad} (all imports: ${imports})")
endif()
message(STATUS "imports: ${imports}")

if(DEFINED EXPORTS)
  # The export name table: "\t[   0] +base[   1] 0000 VSTPluginMain" or
  # "\t[   0] VSTPluginMain", depending on the binutils version.
  set(names "")
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
  if(start GREATER -1)
    string(SUBSTRING "${dump}" ${start} -1 table)
    # Skip the heading line; the table ends at the first empty line.
    string(FIND "${table}" "\n" eol)
    math(EXPR eol "${eol} + 1")
    string(SUBSTRING "${table}" ${eol} -1 table)
    string(FIND "${table}" "\n\n" end)
    if(end GREATER -1)
      string(SUBSTRING "${table}" 0 ${end} table)
    endif()
    # Brackets would confuse CMake's list splitting.
    string(REPLACE "[" " " table "${table}")
    string(REPLACE "]" " " table "${table}")
    string(REPLACE "\n" ";" rows "${table}")
    foreach(row ${rows})
      if(row MATCHES "([^ \t]+)[ \t]*$")
        list(APPEND names ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
  list(SORT names)
  string(REPLACE "," ";" expected "${EXPORTS}")
  list(SORT expected)
  if(NOT names STREQUAL expected)
    message(FATAL_ERROR "${BINARY} exports '${names}', expected exactly '${expected}'")
  endif()
  message(STATUS "exports: ${names}")
endif()
