# Installs the build into a staging folder twice and checks the layout: the
# binary, the unit, the sample configuration, and that a second install keeps
# an edited configuration file. Run by ctest with -DBUILD_DIR, -DSTAGE,
# -DCONFIG_PATH, -DUNIT_DIR and -DSBIN_DIR.
file(REMOVE_RECURSE "${STAGE}")
set(ENV{DESTDIR} "${STAGE}")

function(install_once)
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" RESULT_VARIABLE status
                  OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
  endif()
endfunction()

install_once()
foreach(expected "${SBIN_DIR}/pavora_server" "${UNIT_DIR}/pavora_server.service"
                 "${CONFIG_PATH}" "${CONFIG_PATH}.example")
  if(NOT EXISTS "${STAGE}${expected}")
    message(FATAL_ERROR "missing after install: ${expected}")
  endif()
endforeach()
file(READ "${STAGE}${UNIT_DIR}/pavora_server.service" unit)
if(NOT unit MATCHES "ExecStart=${SBIN_DIR}/pavora_server\n")
  message(FATAL_ERROR "unit does not start the installed binary:\n${unit}")
endif()

file(WRITE "${STAGE}${CONFIG_PATH}" "# edited by the operator\n")
install_once()
file(READ "${STAGE}${CONFIG_PATH}" kept)
if(NOT kept STREQUAL "# edited by the operator\n")
  message(FATAL_ERROR "a second install overwrote the configuration")
endif()
file(REMOVE_RECURSE "${STAGE}")
