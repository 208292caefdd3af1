# Fails unless the library's dynamic symbol table defines exactly the public
# functions, and (when liblzo2 is linked in) the library needs no liblzo2.
# Arguments: -DLIB=<path> -DEXPECTED=<a;b;c> -DSTATIC_LZO=<ON|OFF> -DNM=<nm>
#            -DREADELF=<readelf> (the toolchain's own, which reads the target)
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
                OUTPUT_VARIABLE nm_out RESULT_VARIABLE nm_rc)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
set(found "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND found "${name}")
endforeach()
list(SORT found)
set(want ${EXPECTED})
list(SORT want)
if(NOT found STREQUAL want)
  message(FATAL_ERROR "exported symbols: ${found}\nexpected exactly: ${want}")
endif()
message(STATUS "exports: ${found}")

if(STATIC_LZO)
  execute_process(COMMAND ${READELF} -d ${LIB} OUTPUT_VARIABLE dyn)
  if(dyn MATCHES "liblzo2")
    message(FATAL_ERROR "library needs liblzo2 at run time:\n${dyn}")
  endif()
endif()
