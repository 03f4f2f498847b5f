# A sized delete given another size than the block's ends the program with STATUS_HEAP_CORRUPTION
# (0xC0000374, of which Wine passes on the low byte) and says which sizes differ; the right size frees it.
#
#   cmake -DEMULATOR=<cmd|args> -DPROGRAM=<exe> -P freed_size.cmake
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${PROGRAM} free-as 4096 RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "freed_size: 4 KiB freed as 4 KiB ended with '${status}', not 0: ${errors}")
endif()
execute_process(COMMAND ${emulator} ${PROGRAM} free-as 16 RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status STREQUAL "116")
  message(FATAL_ERROR "freed_size: 4 KiB freed as 16 bytes ended with '${status}', not 116 (0xC0000374): "
                      "does the sized operator delete check the size? ${errors}")
endif()
if(NOT errors MATCHES "operator delete: a block of 4096 bytes freed as one of 16 bytes")
  message(FATAL_ERROR "freed_size: 4 KiB freed as 16 bytes said '${errors}'")
endif()
message(STATUS "freed_size: the block freed as its own size passed, as another ended the program")
