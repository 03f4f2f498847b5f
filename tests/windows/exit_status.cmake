# A Windows program's exit status must reach CTest through Wine and the wrapper unchanged, or failing
# Windows tests would pass; and the stack cookie of /GS code must stop an overrun:
#
#   cmake -DEMULATOR=<cmd|args> -DPROGRAM=<exe> -P exit_status.cmake
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" emulator "${EMULATOR}")
foreach(expected 0 3 70)
  execute_process(COMMAND ${emulator} ${PROGRAM} ${expected} RESULT_VARIABLE status)
  if(NOT status STREQUAL expected)
    message(FATAL_ERROR "exit_status: ${PROGRAM} ${expected} ended with '${status}', not ${expected}")
  endif()
endforeach()
# Code built with /GS: a frame whose stack cookie was overwritten ends the process with
# STATUS_STACK_BUFFER_OVERRUN (0xC0000409, of which Wine passes on the low byte), before the overwritten
# return address is used (that would be an access violation, 0xC0000005: status 5).
string(REPEAT "x" 200 long)
execute_process(COMMAND ${emulator} ${PROGRAM} overrun short RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "exit_status: a copy that fits ended with '${status}', not 0")
endif()
execute_process(COMMAND ${emulator} ${PROGRAM} overrun ${long} RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status STREQUAL "9")
  message(FATAL_ERROR "exit_status: an overrun stack buffer ended with '${status}', not 9 (0xC0000409): "
                      "is the stack cookie set up and checked?")
endif()
message(STATUS "exit_status: 0, 3 and 70 came through; an overrun stack buffer ended the program")
