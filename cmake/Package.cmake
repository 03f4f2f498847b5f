# package-zip: dist/Brickwright-<version>-win64.zip, holding Brickwright.dll (debug info stripped) and a
# README on where it goes. Only the Windows build has it; included after the mod library is defined.

if(NOT WIN32)
  return()
endif()

set(BRICKWRIGHT_DIST_DIR ${CMAKE_SOURCE_DIR}/dist CACHE PATH "Where package-zip writes the zip")
set(BRICKWRIGHT_PACKAGE_NAME Brickwright-${PROJECT_VERSION}-win64)
set(_stage ${CMAKE_BINARY_DIR}/package/${BRICKWRIGHT_PACKAGE_NAME})
set(_zip ${BRICKWRIGHT_DIST_DIR}/${BRICKWRIGHT_PACKAGE_NAME}.zip)

# Windows line ends: the README is read on Windows.
configure_file(${CMAKE_CURRENT_LIST_DIR}/package_readme.txt.in ${CMAKE_BINARY_DIR}/package/README.txt
  @ONLY NEWLINE_STYLE CRLF)

if(CMAKE_STRIP)
  set(_strip COMMAND ${CMAKE_STRIP} --strip-debug ${_stage}/Brickwright.dll)
endif()
add_custom_target(package-zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage} ${BRICKWRIGHT_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Brickwright> ${_stage}/Brickwright.dll
  ${_strip}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/package/README.txt ${_stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E rm -f ${_zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_stage} ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip
          Brickwright.dll README.txt
  COMMAND ${CMAKE_COMMAND} -E echo "wrote ${_zip}"
  DEPENDS Brickwright
  VERBATIM)
