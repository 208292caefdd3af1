# Runs the CLI with ARGS and fails unless it exits with STATUS and its
# standard error matches MESSAGE (a regular expression).
# Arguments: -DCLI=<path> -DARGS=<a,b,c> -DSTATUS=<n> -DMESSAGE=<regex>
string(REPLACE "," ";" ARGS "${ARGS}")
execute_process(COMMAND ${CLI} ${ARGS} RESULT_VARIABLE status ERROR_VARIABLE err OUTPUT_QUIET)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "maskjpeg ${ARGS}: exit status ${status}, expected ${STATUS}\n${err}")
endif()
if(NOT err MATCHES "${MESSAGE}")
  message(FATAL_ERROR "maskjpeg ${ARGS}: message does not match '${MESSAGE}':\n${err}")
endif()
string(STRIP "${err}" err)
message(STATUS "maskjpeg ${ARGS}: ${status}, ${err}")
