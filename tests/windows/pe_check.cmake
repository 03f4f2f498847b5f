# Checks what a built Windows module exports and imports, as the PE loader will see it, from the
# tables that objdump -p prints:
#
#   cmake -DOBJDUMP=<objdump> -DMODULE=<file> -DCHECK=exports|imports|dlls [-DEXPORTS_DIR=<dir>]
#         -P pe_check.cmake
#
# exports: the export directory names the module "Brickwright.dll" and holds exactly one entry,
#          ModCreate, by name, with ordinal 1.
# imports: the module imports from xinput1_3.dll, Microsoft's C++ runtime (msvcp140.dll,
#          vcruntime140.dll, ucrtbase.dll or the api-ms-win-crt sets) and kernel32.dll alone; from
#          xinput1_3.dll exactly the host's interface, by the names Microsoft's compiler decorates it
#          with, and that from nowhere else. With EXPORTS_DIR (<dll>.def files listing what each DLL
#          exports, as the Windows tree makes them from Wine's DLLs), every other import must be listed
#          there: nothing the module needs is missing from the runtime it will run on.
# dlls:    xinput1_3.dll and msvcp140.dll are among the imported DLLs (the stand-in game).
# Every problem found is printed on a line of its own, beginning with "pe_check: ".

cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP MODULE CHECK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "pe_check: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE}
  OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pe_check: ${OBJDUMP} -p ${MODULE} failed: ${dump_error}")
endif()
string(REPLACE "\r" "" dump "${dump}")
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

set(problems)
macro(problem text)
  list(APPEND problems "${text}")
endmacro()

function(check_exports)
  set(section none)
  set(name "")
  set(base "")
  set(address_count "")
  set(name_count "")
  set(addresses)
  set(named)
  foreach(line IN LISTS lines)
    if(line MATCHES "^The Export Tables")
      set(section header)
    elseif(section STREQUAL "none")
      continue()
    elseif(line MATCHES "^The ")
      break()
    elseif(line MATCHES "^Name[ \t]+[0-9a-fA-F]+ (.*)$")
      set(name "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^Ordinal Base[ \t]+([0-9]+)")
      set(base ${CMAKE_MATCH_1})
    elseif(line MATCHES "^Number in:")
      set(section counts)
    elseif(line MATCHES "^Table Addresses")
      set(section header)
    elseif(section STREQUAL "counts" AND line MATCHES "^[ \t]+Export Address Table[ \t]+([0-9a-fA-F]+)$")
      math(EXPR address_count "0x${CMAKE_MATCH_1}")
    elseif(section STREQUAL "counts" AND line MATCHES "^[ \t]+\\[Name Pointer/Ordinal\\] Table[ \t]+([0-9a-fA-F]+)$")
      math(EXPR name_count "0x${CMAKE_MATCH_1}")
    elseif(line MATCHES "^Export Address Table --")
      set(section addresses)
    elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(section names)
    elseif(section STREQUAL "addresses" AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] \\+base\\[ *([0-9]+)\\]")
      list(APPEND addresses ${CMAKE_MATCH_1})
    elseif(section STREQUAL "names" AND line MATCHES "^[ \t]+\\[ *([0-9]+)\\] (.+)$")
      # The bracket holds the index into the address table; the ordinal is that plus the base.
      math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
      list(APPEND named "${CMAKE_MATCH_2}=${ordinal}")
    endif()
  endforeach()

  if(section STREQUAL "none")
    problem("no export directory")
  else()
    if(NOT name STREQUAL "Brickwright.dll")
      problem("export directory name is '${name}', not 'Brickwright.dll'")
    endif()
    list(LENGTH addresses exported)
    if(NOT address_count EQUAL 1 OR NOT exported EQUAL 1)
      problem("${address_count} entries in the export address table, not 1: ordinals ${addresses}")
    endif()
    if(NOT name_count EQUAL 1 OR NOT named STREQUAL "ModCreate=1")
      problem("exported by name: '${named}', not only 'ModCreate=1'")
    endif()
  endif()
  set(problems ${problems} PARENT_SCOPE)
endfunction()

function(check_imports)
  set(dll "")
  set(dlls)
  foreach(line IN LISTS lines)
    if(line MATCHES "^The Export Tables")
      break()
    elseif(line MATCHES "^[ \t]+DLL Name: (.+)$")
      set(dll "${CMAKE_MATCH_1}")
      string(TOLOWER "${dll}" dll)
      list(APPEND dlls "${dll}")
      set(from_${dll})
    # "<tab>vma<tab>hint  name": the table's terminating descriptor line begins with a space instead.
    elseif(dll AND line MATCHES "^\t[0-9a-fA-F]+\t *[0-9]+ +([^ \t]+)")
      list(APPEND from_${dll} "${CMAKE_MATCH_1}")
    endif()
  endforeach()

  if(NOT "xinput1_3.dll" IN_LIST dlls)
    problem("xinput1_3.dll is not among the imported DLLs: ${dlls}")
  endif()
  if(NOT "msvcp140.dll" IN_LIST dlls)
    problem("msvcp140.dll is not among the imported DLLs (C++ runtime linked statically?): ${dlls}")
  endif()
  if(CHECK STREQUAL "dlls")
    set(problems ${problems} PARENT_SCOPE)
    return()
  endif()

  foreach(dll IN LISTS dlls)
    if(NOT dll MATCHES "^(xinput1_3|msvcp140|vcruntime140|ucrtbase|api-ms-win-crt-[a-z0-9-]+|kernel32)\\.dll$")
      problem("${dll} is imported: a player's Windows with the Visual C++ runtime may not have it")
    endif()
  endforeach()

  # The host's interface by the names Microsoft's compiler gives it.
  set(host_names
    "logFile=?logFile@Utility@SML@@3V?$basic_ofstream@D"
    "writeHeader=?writeHeader@Utility@SML@@YAXV?$basic_string@D"
    "setConsoleColor=?setConsoleColor@Utility@SML@@YAXW4ConsoleColor@"
    "log=?log@Utility@SML@@YAXW4LogType@"
    "loadObjectFromPak=?loadObjectFromPak@Functions@Mod@SML@@"
    "addRecipe=?addRecipe@Functions@Mod@SML@@"
    "HookInvoker subscribe=?subscribe@?$HookInvoker@"
    "Mod constructor=??0Mod@0SML@@"
    "Mod destructor=??1Mod@0SML@@")
  set(matched)
  foreach(entry IN LISTS host_names)
    string(FIND "${entry}" "=" equals)
    string(SUBSTRING "${entry}" 0 ${equals} what)
    math(EXPR equals "${equals} + 1")
    string(SUBSTRING "${entry}" ${equals} -1 prefix)
    set(found_in)
    foreach(dll IN LISTS dlls)
      foreach(symbol IN LISTS from_${dll})
        string(FIND "${symbol}" "${prefix}" at)
        if(at EQUAL 0)
          list(APPEND found_in ${dll})
          list(APPEND matched "${symbol}")
          break()
        endif()
      endforeach()
    endforeach()
    if(NOT found_in STREQUAL "xinput1_3.dll")
      if(found_in)
        problem("${what} is imported from ${found_in}, not from xinput1_3.dll alone")
      else()
        problem("${what} is not imported from xinput1_3.dll")
      endif()
    endif()
  endforeach()
  foreach(symbol IN LISTS from_xinput1_3.dll)
    if(NOT symbol IN_LIST matched)
      problem("${symbol} is imported from xinput1_3.dll but is not the host's interface")
    endif()
  endforeach()

  if(DEFINED EXPORTS_DIR)
    foreach(dll IN LISTS dlls)
      if(dll STREQUAL "xinput1_3.dll")
        continue()
      endif()
      string(REGEX REPLACE "\\.dll$" "" stem "${dll}")
      if(NOT EXISTS ${EXPORTS_DIR}/${stem}.def)
        problem("${dll}: no list of its exports in ${EXPORTS_DIR}")
        continue()
      endif()
      file(STRINGS ${EXPORTS_DIR}/${stem}.def exported REGEX "^    ")
      list(TRANSFORM exported REPLACE "^    ([^ ]+).*$" "\\1")
      foreach(symbol IN LISTS from_${dll})
        if(NOT symbol IN_LIST exported)
          problem("${symbol} is imported from ${dll}, which does not export it (or only as a stub)")
        endif()
      endforeach()
    endforeach()
  endif()
  set(problems ${problems} PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "exports")
  check_exports()
elseif(CHECK STREQUAL "imports" OR CHECK STREQUAL "dlls")
  check_imports()
else()
  message(FATAL_ERROR "pe_check: CHECK must be exports, imports or dlls, not '${CHECK}'")
endif()

if(problems)
  list(JOIN problems "\npe_check: " text)
  message(FATAL_ERROR "${MODULE}:\npe_check: ${text}")
endif()
message(STATUS "pe_check: ${MODULE}: ${CHECK} as expected")
