# Writes the distributable zip: Brickwright.dll as built, the player's README.txt and, when given, the
# loader checker as checker/brickwright-sigcheck.exe (a folder of its own, so that nobody takes it
# for part of the mod); nothing else.
#
#   cmake -DDLL=<Brickwright.dll> -DREADME=<README.txt> [-DCHECKER=<brickwright-sigcheck.exe>]
#         -DSTAGE=<folder> -DZIP=<file.zip> -P package_zip.cmake
#
# The package-zip target runs it, and so does the test that checks the zip's DLL.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/RequireDefinitions.cmake)
require_definitions(package_zip DLL README STAGE ZIP)

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY_FILE ${DLL} ${STAGE}/Brickwright.dll)
file(COPY_FILE ${README} ${STAGE}/README.txt)
set(entries Brickwright.dll README.txt)
if(CHECKER)
  file(MAKE_DIRECTORY ${STAGE}/checker)
  file(COPY_FILE ${CHECKER} ${STAGE}/checker/brickwright-sigcheck.exe)
  list(APPEND entries checker/brickwright-sigcheck.exe)
endif()
get_filename_component(zip_dir ${ZIP} DIRECTORY)
file(MAKE_DIRECTORY ${zip_dir})
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${entries}
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "package_zip: could not write ${ZIP}")
endif()
