# Fails unless FILE (the shared library or the CLI) shows, in the file
# itself, that it was built hardened: position-independent, full RELRO with
# immediate binding, a non-executable stack, no text relocations, the stack
# protector linked (an import of __stack_chk_fail), and, where FORTIFY is
# set, fortified libc calls (imports of __*_chk). The library makes no libc
# call whose size the compiler knows, so it is checked without FORTIFY.
# Arguments: -DFILE=<path> -DREADELF=<readelf> -DFORTIFY=<0|1>
function(readelf out)
  execute_process(COMMAND ${READELF} -W ${ARGN} ${FILE} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} ${ARGN} failed on ${FILE}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(missing "")
readelf(header -h)
if(NOT header MATCHES "Type:[ ]+DYN")
  list(APPEND missing "position-independent code (ELF type DYN)")
endif()
readelf(segments -l)
if(NOT segments MATCHES "GNU_RELRO")
  list(APPEND missing "RELRO (no GNU_RELRO segment)")
endif()
if(NOT segments MATCHES "GNU_STACK[^\n]* RW  ")
  list(APPEND missing "non-executable stack (GNU_STACK must be RW)")
endif()
readelf(dynamic -d)
if(NOT dynamic MATCHES "BIND_NOW" AND NOT dynamic MATCHES "FLAGS_1\\)[^\n]* NOW")
  list(APPEND missing "BIND_NOW (-z now)")
endif()
if(dynamic MATCHES "TEXTREL")
  list(APPEND missing "no text relocations (TEXTREL present)")
endif()
readelf(symbols --dyn-syms)
if(NOT symbols MATCHES "__stack_chk_fail")
  list(APPEND missing "stack protector (no __stack_chk_fail)")
endif()
if(FORTIFY AND NOT symbols MATCHES "__[a-z]+_chk@")
  list(APPEND missing "_FORTIFY_SOURCE (no fortified __*_chk imports)")
endif()

if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "${FILE} lacks:\n  ${text}")
endif()
message(STATUS "${FILE}: hardened")
