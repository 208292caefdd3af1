# Runs the CLI with ARGS and fails unless it exits with STATUS and says
# MESSAGE (a regular expression) where it should: on standard output, with
# nothing on standard error, when it succeeds; on standard error, with
# nothing on standard output, when it fails.
# Arguments: -DCLI=<path> -DARGS=<a,b,c> -DSTATUS=<n> -DMESSAGE=<regex>
string(REPLACE "," ";" ARGS "${ARGS}")
execute_process(COMMAND ${CLI} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "maskjpeg ${ARGS}: exit status ${status}, expected ${STATUS}\n${out}${err}")
endif()
if(STATUS STREQUAL "0")
  set(said "${out}")
  set(silent "${err}")
  set(where "standard output")
else()
  set(said "${err}")
  set(silent "${out}")
  set(where "standard error")
endif()
if(NOT said MATCHES "${MESSAGE}")
  message(FATAL_ERROR "maskjpeg ${ARGS}: ${where} does not match '${MESSAGE}':\n${said}")
endif()
if(NOT silent STREQUAL "")
  message(FATAL_ERROR "maskjpeg ${ARGS}: printed on the wrong stream:\n${silent}")
endif()
string(STRIP "${said}" said)
message(STATUS "maskjpeg ${ARGS}: ${status}, ${said}")
