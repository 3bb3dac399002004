# Install layout and the zip package the updater consumes.
#
# `cmake --install <build> --prefix <folder>` lays out a self-contained
# application folder; everything else the program needs comes from Debian's
# shared libraries (Qt 6, FFmpeg, OpenSSL, libarchive, ...):
#
#   bin/vorpix                  the program
#   share/vorpix/self-update    marker: the whole folder belongs to Vorpix and
#                               the built-in updater may replace it
#
# `cpack` (or `ninja package`) zips that folder, under one top-level folder, as
# package/Vorpix-<version>-linux-<arch>.zip: the file vorpix-sign-release signs
# and the updater unpacks. The version is the CMake project version, the one
# `vorpix --version` reports.

option(VORPIX_SELF_UPDATE
  "Install the marker that lets the built-in updater replace the installed folder (OFF for distribution packages)"
  ON)

# Builds of a subset of modules (VORPIX_ONLY_MODULES) have no program to package.
if(NOT TARGET vorpix)
  return()
endif()

string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" VORPIX_PACKAGE_ARCH)
set(VORPIX_PACKAGE_BASENAME "Vorpix-${PROJECT_VERSION}-linux-${VORPIX_PACKAGE_ARCH}")

if(VORPIX_SELF_UPDATE)
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/self-update
    "This folder was installed from a Vorpix update package. Vorpix may replace\n"
    "the whole folder when it installs a new version of itself.\n")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/self-update DESTINATION share/vorpix)
endif()

set(CPACK_PACKAGE_NAME "Vorpix")
set(CPACK_PACKAGE_VENDOR "Vorpix")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_FILE_NAME "${VORPIX_PACKAGE_BASENAME}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

# Lays the folder out and packs it the way a release is made, then checks
# that bin/vorpix reports this version and that the updater's own unpacking
# accepts the package.
if(VORPIX_BUILD_TESTS)
  set(_check_args
    -DBUILD_DIR=${CMAKE_BINARY_DIR}
    -DWORK_DIR=${CMAKE_BINARY_DIR}/packaging/check
    -DVERSION=${PROJECT_VERSION}
    -DPACKAGE_BASENAME=${VORPIX_PACKAGE_BASENAME}
    -DSELF_UPDATE=${VORPIX_SELF_UPDATE}
    -DCPACK=${CMAKE_CPACK_COMMAND})
  if(TARGET vorpix-sign-release)
    list(APPEND _check_args -DSIGN_TOOL=$<TARGET_FILE:vorpix-sign-release>)
  endif()
  add_test(NAME packaging.installAndPackage
    COMMAND ${CMAKE_COMMAND} ${_check_args} -P ${PROJECT_SOURCE_DIR}/tests/update/check_package.cmake)
  set_tests_properties(packaging.installAndPackage PROPERTIES LABELS "slow" TIMEOUT 300)
endif()
