cmake_minimum_required(VERSION 3.20)
# Fails unless the DLL exports exactly the four functions under their plain
# names, needs no DLL but the system's own (the C and C++ runtimes are
# linked in), and, with HARDEN, carries what PE knows: DYNAMIC_BASE,
# NX_COMPAT, HIGH_ENTROPY_VA on x64, and the stack protector linked in.
# Arguments: -DDLL=<path> -DOBJDUMP=<objdump> -DHIGH_ENTROPY=<0|1> -DHARDEN=<ON|OFF>
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${DLL}")
endif()
set(problems "")

# The export table: "[Ordinal/Name Pointer] Table" lines like "	[   0] decode_mask".
# (Names are taken out of their lines before they become a list: brackets
# in a CMake list item would keep it from splitting.)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" _ "${headers}")
string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] ([^\n]*)\n" "\\1;" exports "${CMAKE_MATCH_1}")
list(REMOVE_ITEM exports "")
list(SORT exports)
set(want decode_mask free_jpeg_buffer free_mask_buffer repair_jpeg)
if(NOT exports STREQUAL want)
  list(APPEND problems "exports '${exports}', expected exactly '${want}'")
endif()

# Imported DLLs: only the system's.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|user32|advapi32|ntdll|api-ms-win-[a-z0-9-]+)\\.dll$")
    list(APPEND problems "needs ${dll}, which is not a system DLL")
  endif()
endforeach()

if(HARDEN)
  foreach(flag DYNAMIC_BASE NX_COMPAT)
    if(NOT headers MATCHES "${flag}")
      list(APPEND problems "no ${flag} in DllCharacteristics")
    endif()
  endforeach()
  if(HIGH_ENTROPY AND NOT headers MATCHES "HIGH_ENTROPY_VA")
    list(APPEND problems "no HIGH_ENTROPY_VA in DllCharacteristics")
  endif()
  execute_process(COMMAND ${OBJDUMP} -t ${DLL} OUTPUT_VARIABLE symbols)
  if(NOT symbols MATCHES "__stack_chk_fail")
    list(APPEND problems "no stack protector (__stack_chk_fail) linked in")
  endif()
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${DLL}:\n  ${text}")
endif()
message(STATUS "${DLL}: exports ${exports}; system DLLs only; hardened")
