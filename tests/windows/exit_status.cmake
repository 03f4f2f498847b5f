# A Windows program's exit status must reach CTest through Wine and the wrapper unchanged, or failing
# Windows tests would pass:
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
message(STATUS "exit_status: 0, 3 and 70 came through")
