# brickwright-sigcheck --loader as a Windows program, on Windows modules: exits with STATUS and prints
# a line matching EXPECT.
#
#   cmake -DEMULATOR=<cmd|args> -DSIGCHECK=<exe> -DLOADER=<dll> -DMOD=<dll> -DSTATUS=<n> -DEXPECT=<regex>
#         -P loader_check.cmake
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${SIGCHECK} --loader ${LOADER} ${MOD}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
string(REPLACE "\r" "" output "${output}")
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "loader_check: exit status ${status}, not ${STATUS}:\n${output}${errors}")
endif()
if(NOT "${output}${errors}" MATCHES "${EXPECT}")
  message(FATAL_ERROR "loader_check: no line matches '${EXPECT}':\n${output}${errors}")
endif()
message(STATUS "loader_check: status ${status} as expected:\n${output}")
