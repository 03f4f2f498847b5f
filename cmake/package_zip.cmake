# Writes the distributable zip: Brickwright.dll as built and the player's README.txt, nothing else.
#
#   cmake -DDLL=<Brickwright.dll> -DREADME=<README.txt> -DSTAGE=<folder> -DZIP=<file.zip> -P package_zip.cmake
#
# The package-zip target runs it, and so does the test that checks the zip's DLL.
cmake_minimum_required(VERSION 3.25)

foreach(var DLL README STAGE ZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "package_zip: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY_FILE ${DLL} ${STAGE}/Brickwright.dll)
file(COPY_FILE ${README} ${STAGE}/README.txt)
get_filename_component(zip_dir ${ZIP} DIRECTORY)
file(MAKE_DIRECTORY ${zip_dir})
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip Brickwright.dll README.txt
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "package_zip: could not write ${ZIP}")
endif()
