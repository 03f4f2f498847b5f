# A mod library that cannot be loaded: the host says why, at its Error level, nothing of the mod runs,
# the game fails with the status of a run the environment stopped. The hint to build the mod or pass
# --mod is for a default path with no library at all: a path given with --mod was the user's own
# choice, and a library that is there but does not load is not helped by building.
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game --mod nowhere/Brickwright.mod)

expect_equal("exit status" "${GAME_STATUS}" 3)
expect_mod_messages("${WORK}/game/modloader.log" "")
expect_contains("stderr" "${GAME_ERR}" "brickwright-game: cannot load ")
expect_lacks("stderr" "${GAME_ERR}" "--mod")
string(REGEX MATCH "brickwright-game: cannot load [^\n]*Brickwright.mod: [^\n]+\n" line "${GAME_ERR}")
if(line STREQUAL "")
  e2e_fail("stderr does not say why the library could not be loaded")
endif()
expect_contains("the host's line" "${GAME_OUT}" "] [SML] [Error] cannot load ")

# Without --mod the game looks beside itself; with no library there, the hint says what to do.
e2e_fresh_work()
get_filename_component(game_name "${GAME}" NAME)
file(MAKE_DIRECTORY "${WORK}/bin")
file(COPY_FILE "${GAME}" "${WORK}/bin/${game_name}")
if(E2E_WINDOWS)
  # The host and the runtime libraries the game imports lie beside it.
  get_filename_component(game_dir "${GAME}" DIRECTORY)
  file(GLOB dlls "${game_dir}/*.dll")
  file(COPY ${dlls} DESTINATION "${WORK}/bin")
else()
  get_filename_component(game_dir "${GAME}" DIRECTORY)
  file(GLOB host "${game_dir}/xinput1_3.so")
  file(COPY ${host} DESTINATION "${WORK}/bin")
endif()
set(GAME "${WORK}/bin/${game_name}")
run_game(--game-dir game)
expect_equal("without --mod: exit status" "${GAME_STATUS}" 3)
expect_contains("without --mod: stderr" "${GAME_ERR}" "(build the Brickwright target, or pass --mod PATH)\n")
expect_lacks("stdout" "${GAME_OUT}" "Summary")
if(EXISTS "${WORK}/game/config")
  e2e_fail("the configuration directory exists although no mod library was loaded")
endif()

# A library at the default path that does not load: the host says why, and no hint to build it.
if(E2E_WINDOWS)
  set(default_mod "${WORK}/bin/mods/Brickwright.dll")
else()
  set(default_mod "${WORK}/bin/mods/Brickwright.so")
endif()
file(WRITE "${default_mod}" "not a library\n")
run_game(--game-dir game)
expect_equal("a default library that does not load: exit status" "${GAME_STATUS}" 3)
expect_contains("a default library that does not load: stderr" "${GAME_ERR}" "brickwright-game: cannot load ")
expect_lacks("a default library that does not load: stderr" "${GAME_ERR}" "--mod")

finish()
