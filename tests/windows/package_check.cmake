# The zip a player downloads: it holds exactly Brickwright.dll, README.txt and, when given, the loader
# checker in checker/; the DLL is the one built
# (so every check of the built DLL holds for it) and passes the export and import checks itself; the
# README has Windows line ends.
#
#   cmake -DPACKAGE_SCRIPT=<package_zip.cmake> -DDLL=<built DLL> -DREADME=<README.txt> [-DCHECKER=<exe>]
#         -DWORK=<folder>
#         -DPE_CHECK=<pe_check.cmake> -DEXPORTS_DIR=<dir> -DPYTHON=<python3> -DPE_TABLES=<pe_tables.py>
#         -P package_check.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -DDLL=${DLL} -DREADME=${README} -DCHECKER=${CHECKER} -DSTAGE=${WORK}/stage
                        -DZIP=${WORK}/Brickwright.zip -P ${PACKAGE_SCRIPT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "package_check: packaging failed")
endif()
file(MAKE_DIRECTORY ${WORK}/unzipped)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${WORK}/Brickwright.zip WORKING_DIRECTORY ${WORK}/unzipped
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "package_check: the zip cannot be read")
endif()

file(GLOB_RECURSE entries RELATIVE ${WORK}/unzipped ${WORK}/unzipped/*)
list(SORT entries)
set(expected Brickwright.dll README.txt)
if(CHECKER)
  list(APPEND expected checker/brickwright-sigcheck.exe)
endif()
list(SORT expected)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "package_check: the zip holds '${entries}', not '${expected}'")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DLL} ${WORK}/unzipped/Brickwright.dll
  RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "package_check: the zip's Brickwright.dll is not the one built")
endif()
foreach(check exports imports bindings)
  execute_process(COMMAND ${CMAKE_COMMAND} -DMODULE=${WORK}/unzipped/Brickwright.dll
                          -DCHECK=${check} -DEXPORTS_DIR=${EXPORTS_DIR} -DPYTHON=${PYTHON}
                          -DPE_TABLES=${PE_TABLES} -P ${PE_CHECK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package_check: the zip's DLL fails the ${check} check:\n${output}")
  endif()
endforeach()

# Read as hex: CMake's text reading drops carriage returns.
file(READ ${WORK}/unzipped/README.txt readme HEX)
string(REGEX REPLACE "(..)" "\\1 " readme "${readme}")
string(REGEX MATCHALL "0a " line_ends "${readme}")
string(REGEX MATCHALL "0d 0a " crlf_ends "${readme}")
list(LENGTH line_ends lines)
list(LENGTH crlf_ends crlf_lines)
if(lines EQUAL 0 OR NOT lines EQUAL crlf_lines)
  message(FATAL_ERROR "package_check: ${crlf_lines} of the README's ${lines} lines end in CR LF, not all")
endif()
message(STATUS "package_check: the zip holds the built DLL, which passes its checks, and the README")
