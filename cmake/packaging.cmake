# Install rules and the Debian package.
#
#   cmake --install build/default --prefix /usr/local
#   cd build/default && cpack            (makes velastra-controller_<version>_<arch>.deb)
#
# Layout: the plug-in in lib/velastra/plugins (where velastra-host looks for
# it, relative to its own bin/), the host ABI header in include/velastra, the
# programs in bin, their manuals in share/man/man1, documents in
# share/doc/velastra-controller.
include(GNUInstallDirs)

set(VELASTRA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velastra-controller)

# A manual page, installed compressed (gzip -9n, as Debian wants it).
function(velastra_install_manual source)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  add_custom_target(manual_${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endfunction()

# Always lib/velastra/plugins (not a multiarch lib/<triplet>): velastra-host
# looks for the plug-in at ../lib/velastra/plugins beside its own bin/.
install(TARGETS controller_plug LIBRARY DESTINATION lib/velastra/plugins COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/include/velastra/host_abi.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velastra COMPONENT runtime)

if(TARGET velastra-host)
  install(TARGETS velastra-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  velastra_install_manual(host/velastra-host.1)
  install(FILES ${PROJECT_SOURCE_DIR}/host/README.md
    DESTINATION ${VELASTRA_DOC_DIR} RENAME README.host.md COMPONENT runtime)
endif()
if(TARGET dsc-sim)
  install(TARGETS dsc-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/sim/dsc-sim.1)
  velastra_install_manual(sim/dsc-sim.1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${VELASTRA_DOC_DIR}
  COMPONENT runtime)
# The package's changelog, as Debian keeps one: compressed, without a time
# stamp in the gzip header.
string(TIMESTAMP VELASTRA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/debian/changelog
  "velastra-controller (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}.\n\n"
  " -- velastra developers <developers@velastra.org>  ${VELASTRA_CHANGELOG_DATE}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz DESTINATION ${VELASTRA_DOC_DIR}
  COMPONENT runtime)
foreach(doc README.md docs/host-abi.md docs/demo.md sim/README.md)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${doc})
    get_filename_component(name ${doc} NAME)
    if(doc STREQUAL "sim/README.md")
      set(name README.sim.md)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/${doc} DESTINATION ${VELASTRA_DOC_DIR} RENAME ${name}
      COMPONENT runtime)
  endif()
endforeach()

# ---- The Debian package ------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velastra-controller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "velastra")
set(CPACK_PACKAGE_CONTACT "velastra developers <developers@velastra.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "telescope controller plug-in for the velastra planetarium")
set(CPACK_PACKAGE_DESCRIPTION
  "Controller.plug reads a digital setting-circle box over a serial port and\n\
reports the telescope's position to the velastra planetarium. velastra-host\n\
loads the plug-in on Linux and drives it from the terminal; dsc-sim simulates\n\
the box on a pseudo-terminal. 'velastra-host --demo' shows the whole chain.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The host draws text with Arial's metrics when Liberation Sans is there,
# else with DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation | fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_STRIP_FILES ON)
include(CPack)
