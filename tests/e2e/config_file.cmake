# The configuration file as the mod's library load finds and leaves it, through a real load by the
# game (-DSTATE=<one of the states below>). The mod's defaults are null, so:
# - absent: the config directory and a file holding "null" are created;
# - empty, whitespace, malformed, null: rewritten as "null";
# - an object: rewritten as "{}" (every member removed); an empty array: rewritten as "[]";
# - a non-empty array, a string, a number, a boolean: the type error of the reconciliation is caught
#   at the library load, the mod says it could not use the file, and the file stays byte for byte.
# In every state the configuration has no effect on the mod's work: all 54 recipes register.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

# <state>: the file's content before the run (or ABSENT), then the content after it (or UNCHANGED,
# with the type name in the error).
set(before_absent ABSENT)
set(after_absent "null")
set(before_empty "")
set(after_empty "null")
set(before_whitespace " \r\n\t\n  ")
set(after_whitespace "null")
set(before_malformed "{\r\n    \"walls\": 20,\r\n")
set(after_malformed "null")
set(before_null "null\r\n")
set(after_null "null")
set(before_object "{\r\n  \"walls\": [1, 2],\n  \"stairs\": {\"count\": 3}\r\n}\r\n")
set(after_object "{}")
set(before_empty_array "[ ]\n")
set(after_empty_array "[]")
set(before_array "[1,\r\n 2]")
set(after_array "UNCHANGED array")
set(before_string "\"walls\"\r\n")
set(after_string "UNCHANGED string")
set(before_number "54")
set(after_number "UNCHANGED number")
set(before_boolean "true\n")
set(after_boolean "UNCHANGED boolean")

if(NOT DEFINED after_${STATE})
  message(FATAL_ERROR "config_file: no state '${STATE}'")
endif()
set(before "${before_${STATE}}")
set(after "${after_${STATE}}")

e2e_fresh_work()
set(config "${WORK}/game/config/Brickwright.cfg")
if(NOT before STREQUAL "ABSENT")
  file(WRITE "${config}" "${before}")
endif()

run_game(--game-dir game)

expect_equal("exit status" "${GAME_STATUS}" 0)
expect_contains("summary" "${GAME_OUT}"
  "  In all: 54 recipe classes and 0 null over 1 BeginPlay: every BeginPlay registered all 54 recipes\n")
if(after MATCHES "^UNCHANGED (.*)$")
  set(refused "Brickwright could not use ${E2E_CONFIG_PATH}: [json.exception.type_error.307] cannot use erase() with ${CMAKE_MATCH_1}\n")
  expect_mod_messages("${WORK}/game/modloader.log" "${refused}${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
  expect_file_bytes("the configuration file" "${config}" "${before}")
else()
  expect_mod_messages("${WORK}/game/modloader.log" "${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
  expect_file_bytes("the configuration file" "${config}" "${after}")
endif()
file(GLOB config_files RELATIVE "${WORK}/game/config" "${WORK}/game/config/*")
expect_equal("the files in config/" "${config_files}" "Brickwright.cfg")

finish()
