# The game as the demo runs it: one controller, the mod from mods/ beside the game, the log file in
# the game directory. The mod does its whole job.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game)

expect_equal("exit status" "${GAME_STATUS}" 0)
expect_equal("stderr" "${GAME_ERR}" "")
expect_mod_messages("${WORK}/game/modloader.log" "${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
expect_contains("the host's lines" "${GAME_OUT}" "] [SML] [Info] Loading mod ")
# Where the mod's configuration file is, once.
if(E2E_WINDOWS)
  set(config_line_end "\\game\\config\\Brickwright.cfg\n")
else()
  set(config_line_end "${WORK}/game/config/Brickwright.cfg\n")
endif()
string(REGEX MATCHALL "\\[SML\\] \\[Info\\] The mod's configuration file: [^\n]*\n" config_lines "${GAME_OUT}")
list(LENGTH config_lines config_line_count)
expect_equal("lines naming the configuration file" "${config_line_count}" 1)
string(FIND "${GAME_OUT}" "${config_line_end}" at)
if(at EQUAL -1)
  e2e_fail("the configuration file's line does not end in '${config_line_end}'")
endif()
expect_contains("the host's lines" "${GAME_OUT}" "] [SML] [Info] Player controller 1 begins play\n")
expect_contains("summary" "${GAME_OUT}"
  "  Engine tables, as the mod's setup reported them: name table by its pattern, object table by its pattern\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: 1 handler run, 54 loads with the class argument Class CoreUObject.Class\n")
expect_contains("summary" "${GAME_OUT}"
  "  BeginPlay 1: addRecipe received 54 recipe classes and 0 null: ${E2E_IN_ORDER}\n")
expect_contains("summary" "${GAME_OUT}"
  "  In all: 54 recipe classes and 0 null over 1 BeginPlay: every BeginPlay registered all 54 recipes\n")
expect_plain_output()
# The configuration file of a first run.
expect_file_bytes("the configuration file" "${WORK}/game/config/Brickwright.cfg" "null")

finish()
