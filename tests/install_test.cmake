# install_test.cmake: installs the build into a fresh prefix and runs every
# installed tool's --version; gprnpv itself must be there. Fails on a
# missing program, a failing run, or a version line that does not name the
# tool.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(tool gprnpv-check gprnpv-convert gprnpv-generate)
  execute_process(COMMAND ${PREFIX}/bin/${tool} --version
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^${tool} [0-9]+\\.[0-9]+\\.[0-9]+")
    message(FATAL_ERROR "${PREFIX}/bin/${tool} --version: status ${rc}, output '${out}'")
  endif()
endforeach()
if(NOT EXISTS ${PREFIX}/bin/gprnpv)
  message(FATAL_ERROR "gprnpv was not installed into ${PREFIX}/bin")
endif()
file(REMOVE_RECURSE ${PREFIX})
