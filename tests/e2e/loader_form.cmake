# The mod on one form of the stand-in loader (FORM: standin, flipped-keys or without-add-recipe), as a
# player would run it (PART=mod), or that and the loader checker on the same loader and mod
# (PART=checker): the checker's verdict must be what the mod did. The mod loads on today's loader and says nothing new; on the loader whose header
# gave every open type the other class key it loads, registers all 54 recipes and says which keys
# differed; without addRecipe it refuses to load, naming addRecipe and the checker, and touches nothing.
#
#   cmake -DGAME=<game beside the loader> -DEMULATOR=<cmd|args> -DWORK=<dir> -DFORM=<form> -DPART=mod|checker
#         -DSIGCHECK=<brickwright-sigcheck.exe> -DLOADER=<the loader's xinput1_3.dll> -DMOD=<Brickwright.dll>
#         -P loader_form.cmake
include(${CMAKE_CURRENT_LIST_DIR}/support.cmake)

e2e_fresh_work()
run_game(--game-dir game)

set(keys_line "Brickwright bound to the loader, whose header gives other class keys than ours")
set(refusal "Brickwright cannot load: the loader has no ")
if(PART STREQUAL "checker")
  # What the mod did, from the game's status alone: it ran (0) or could not load the mod (3).
  if(GAME_STATUS STREQUAL "0")
    set(loaded TRUE)
  elseif(GAME_STATUS STREQUAL "3")
    set(loaded FALSE)
  else()
    e2e_fail("the game's exit status is ${GAME_STATUS}, neither 0 nor 3")
    finish()
  endif()
elseif(FORM STREQUAL "without-add-recipe")
  set(loaded FALSE)
  expect_equal("exit status" "${GAME_STATUS}" 3)
  expect_contains("stdout" "${GAME_OUT}"
    "${refusal}void __cdecl SML::Mod::Functions::addRecipe(class SDK::UClass *)\n")
  string(REGEX MATCHALL "${refusal}[^\n]*" missing "${GAME_OUT}")
  list(LENGTH missing count)
  expect_equal("lines naming a missing function" "${count}" 1)
  expect_contains("stdout" "${GAME_OUT}" "run checker\\brickwright-sigcheck --loader \"")
  expect_contains("stdout" "${GAME_OUT}" "] [SML] [Error] cannot load ")
  expect_lacks("stdout" "${GAME_OUT}" "Summary")
  expect_mod_messages("${WORK}/game/modloader.log" "")
  # The binding ran before the configuration's load: a refused library leaves no file behind.
  if(EXISTS "${WORK}/game/config")
    e2e_fail("the configuration directory exists although the library refused to load")
  endif()
else()
  set(loaded TRUE)
  expect_equal("exit status" "${GAME_STATUS}" 0)
  expect_contains("stdout" "${GAME_OUT}" "every BeginPlay registered all 54 recipes")
  expect_lacks("stdout" "${GAME_OUT}" "${refusal}")
  if(FORM STREQUAL "flipped-keys")
    expect_contains("stdout" "${GAME_OUT}" "] [Brickwright] [Info] ${keys_line}: SML::Mod::Mod::Info a class, \
SDK::UObject a struct, SDK::UClass a struct, SML::Mod::Functions::ModReturns a class, \
SML::Objects::AFGPlayerController a struct (host/include/sml/sml.hpp)\n")
    expect_mod_messages("${WORK}/game/modloader.log"
      "${keys_line}: SML::Mod::Mod::Info a class, SDK::UObject a struct, SDK::UClass a struct, \
SML::Mod::Functions::ModReturns a class, SML::Objects::AFGPlayerController a struct \
(host/include/sml/sml.hpp)\n${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
  else()
    expect_lacks("stdout" "${GAME_OUT}" "${keys_line}")
    expect_mod_messages("${WORK}/game/modloader.log" "${E2E_SETUP}${E2E_BEGIN_PLAY}${E2E_CLEANUP}")
  endif()
endif()

if(NOT PART STREQUAL "checker")
  finish()
  return()
endif()

# The checker on the same two files: 0 when the mod will load, 1 when it will not.
execute_process(COMMAND ${e2e_emulator} ${SIGCHECK} --loader ${LOADER} ${MOD}
  RESULT_VARIABLE checked OUTPUT_VARIABLE checker_out ERROR_VARIABLE checker_err TIMEOUT 120)
string(REPLACE "\r\n" "\n" checker_out "${checker_out}")
if(checked STREQUAL "2" AND "${checker_out}${checker_err}" MATCHES "imports nothing from xinput1_3.dll")
  message(STATUS "the checker does not read the mod's list of spellings yet:\n${checker_out}${checker_err}")
  return()
endif()
if(loaded)
  set(verdict 0)
else()
  set(verdict 1)
endif()
if(NOT checked STREQUAL verdict)
  e2e_fail("the checker says ${checked}, the mod ${verdict} (it did ${GAME_STATUS}):\n${checker_out}${checker_err}")
endif()
if(NOT loaded AND NOT checker_out MATCHES "addRecipe")
  e2e_fail("the checker does not name addRecipe:\n${checker_out}")
endif()

finish()
