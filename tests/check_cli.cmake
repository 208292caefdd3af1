# Runs the CLI with ARGS and fails unless it exits with STATUS and what it
# prints (standard output and error together) matches MESSAGE, a regular
# expression.
# Arguments: -DCLI=<path> -DARGS=<a,b,c> -DSTATUS=<n> -DMESSAGE=<regex>
string(REPLACE "," ";" ARGS "${ARGS}")
execute_process(COMMAND ${CLI} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "maskjpeg ${ARGS}: exit status ${status}, expected ${STATUS}\n${out}")
endif()
if(NOT out MATCHES "${MESSAGE}")
  message(FATAL_ERROR "maskjpeg ${ARGS}: output does not match '${MESSAGE}':\n${out}")
endif()
string(STRIP "${out}" out)
message(STATUS "maskjpeg ${ARGS}: ${status}, ${out}")
