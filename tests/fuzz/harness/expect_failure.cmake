# Runs COMMAND, a fuzz run over an input with a known fault, and passes only when the run failed,
# its output names the fault (EXPECTED, a regular expression) and the input was kept as an artifact
# whose name starts with ARTIFACT.
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/RequireDefinitions.cmake)
require_definitions(expect_failure COMMAND EXPECTED ARTIFACT ARTIFACTS INPUT)

file(REMOVE_RECURSE ${ARTIFACTS})
file(MAKE_DIRECTORY ${ARTIFACTS})
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)

set(problems)
if(status EQUAL 0)
  list(APPEND problems "the run exited with status 0")
endif()
if(NOT out MATCHES "${EXPECTED}")
  list(APPEND problems "the output does not say '${EXPECTED}'")
endif()
file(GLOB kept ${ARTIFACTS}/${ARTIFACT}*)
list(LENGTH kept count)
if(NOT count EQUAL 1)
  list(APPEND problems "expected one ${ARTIFACT}* artifact, found ${count}")
else()
  file(READ ${kept} content)
  if(NOT content STREQUAL INPUT)
    list(APPEND problems "the artifact holds '${content}', not the input '${INPUT}'")
  endif()
endif()

if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "fuzz run over '${INPUT}' (status ${status}):\n  ${problems}\n--- output ---\n${out}")
endif()
message(STATUS "fuzz run over '${INPUT}' failed as it must (status ${status})")
