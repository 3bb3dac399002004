# Checks the install layout and the update package of a built tree, as a
# release manager would make them. Run by CTest (packaging.installAndPackage):
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... -DPACKAGE_BASENAME=...
#         -DSELF_UPDATE=ON|OFF -DCPACK=... [-DSIGN_TOOL=...] -P check_package.cmake

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_version program)
  run(${program} --version)
  string(STRIP "${out}" out)
  if(NOT out STREQUAL "vorpix ${VERSION}")
    message(FATAL_ERROR "${program} --version printed \"${out}\", expected \"vorpix ${VERSION}\"")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})

# 1. The application folder laid out by `cmake --install`.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/app)
expect_version(${WORK_DIR}/app/bin/vorpix)
if(SELF_UPDATE AND NOT EXISTS ${WORK_DIR}/app/share/vorpix/self-update)
  message(FATAL_ERROR "the install lacks share/vorpix/self-update")
endif()

# 2. The zip made by CPack, unpacked by CMake's own libarchive.
run(${CPACK} -G ZIP --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/package)
set(zip ${WORK_DIR}/package/${PACKAGE_BASENAME}.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack did not make ${zip}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${WORK_DIR}/unzipped)
expect_version(${WORK_DIR}/unzipped/${PACKAGE_BASENAME}/bin/vorpix)

# 3. Signed and checked with the release tool, which unpacks it under the
#    updater's rules and runs the program it finds.
if(SIGN_TOOL)
  run(${SIGN_TOOL} keygen ${WORK_DIR}/throwaway.pem)
  string(STRIP "${out}" public_key)
  run(${SIGN_TOOL} sign --key ${WORK_DIR}/throwaway.pem --package ${zip} --version ${VERSION}
      --url https://updates.invalid/${PACKAGE_BASENAME}.zip --manifest ${WORK_DIR}/latest.json)
  run(${SIGN_TOOL} verify --public-key ${public_key} --package ${zip} --manifest ${WORK_DIR}/latest.json)
  run(${SIGN_TOOL} check-package --package ${zip} --version ${VERSION})
endif()

file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "packaging check passed: ${PACKAGE_BASENAME}.zip")
