# package-zip: dist/Brickwright-<version>-win64.zip, holding Brickwright.dll as the Windows tree builds it
# (Microsoft's C++ ABI, release), a README for players and the loader checker. Only the Windows build has it; included after
# the mod library is defined.

if(NOT WIN32)
  return()
endif()

set(BRICKWRIGHT_DIST_DIR ${CMAKE_SOURCE_DIR}/dist CACHE PATH "Where package-zip writes the zip")
set(BRICKWRIGHT_PACKAGE_NAME Brickwright-${PROJECT_VERSION}-win64)
set(BRICKWRIGHT_PACKAGE_README ${CMAKE_BINARY_DIR}/package/README.txt)
set(_zip ${BRICKWRIGHT_DIST_DIR}/${BRICKWRIGHT_PACKAGE_NAME}.zip)

# Windows line ends: the README is read on Windows.
configure_file(${CMAKE_CURRENT_LIST_DIR}/package_readme.txt.in ${BRICKWRIGHT_PACKAGE_README}
  @ONLY NEWLINE_STYLE CRLF)

# The loader checker goes along where it can check a loader (it has a demangler).
set(BRICKWRIGHT_PACKAGE_CHECKER "")
set(_checker_dependency)
if(TARGET brickwright_sigcheck_loader)
  set(BRICKWRIGHT_PACKAGE_CHECKER $<TARGET_FILE:brickwright-sigcheck>)
  set(_checker_dependency brickwright-sigcheck)
endif()

add_custom_target(package-zip
  COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:Brickwright> -DREADME=${BRICKWRIGHT_PACKAGE_README}
          -DCHECKER=${BRICKWRIGHT_PACKAGE_CHECKER}
          -DSTAGE=${CMAKE_BINARY_DIR}/package/${BRICKWRIGHT_PACKAGE_NAME} -DZIP=${_zip}
          -P ${CMAKE_CURRENT_LIST_DIR}/package_zip.cmake
  COMMAND ${CMAKE_COMMAND} -E echo "wrote ${_zip}"
  DEPENDS Brickwright ${_checker_dependency}
  VERBATIM)
