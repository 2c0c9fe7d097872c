# Installs the build into a fresh prefix and checks what a person finds there:
# the plug-in where velastra-host looks for it, both programs answering
# --version, and both manuals through man.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
if(NOT EXISTS "${PREFIX}/lib/velastra/plugins/Controller.plug")
  message(FATAL_ERROR "no ${PREFIX}/lib/velastra/plugins/Controller.plug")
endif()
foreach(program velastra-host dsc-sim)
  execute_process(COMMAND "${PREFIX}/bin/${program}" --version
    RESULT_VARIABLE result OUTPUT_VARIABLE out)
  if(NOT result EQUAL 0 OR NOT out MATCHES "^${program} [0-9]")
    message(FATAL_ERROR "${program} --version: ${result} '${out}'")
  endif()
  execute_process(COMMAND env "MANPATH=${PREFIX}/share/man" MANPAGER=cat PAGER=cat
                          MANWIDTH=80 man ${program}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0 OR NOT out MATCHES "${program} - ")
    message(FATAL_ERROR "man ${program}: ${result} ${err}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
