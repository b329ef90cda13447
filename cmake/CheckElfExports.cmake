# cmake -DNM=nm -DBINARY=Veltrane.so -DEXPORTS=a,b -P CheckElfExports.cmake
#
# The Linux plug-in exports exactly its entry points: nothing of its C++
# insides can clash with the host's or another plug-in's symbols.
foreach(v NM BINARY EXPORTS)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "CheckElfExports: ${v} not given")
  endif()
endforeach()
execute_process(COMMAND ${NM} -D --defined-only ${BINARY}
                OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} -D ${BINARY} failed: ${err}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" rows "${dump}")
set(names "")
foreach(row ${rows})
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${row}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
string(REPLACE "," ";" expected "${EXPORTS}")
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${BINARY} exports '${names}', expected exactly '${expected}'")
endif()
message(STATUS "exports: ${names}")
