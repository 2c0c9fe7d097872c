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

# Always lib/velastra/plugins (not a multiarch lib/<triplet>): velastra-host
# looks for the plug-in at ../lib/velastra/plugins beside its own bin/.
install(TARGETS controller_plug LIBRARY DESTINATION lib/velastra/plugins COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/include/velastra/host_abi.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velastra COMPONENT runtime)

if(TARGET velastra-host)
  install(TARGETS velastra-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/host/velastra-host.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/host/README.md
    DESTINATION ${VELASTRA_DOC_DIR} RENAME README.host.md COMPONENT runtime)
endif()
if(TARGET dsc-sim)
  install(TARGETS dsc-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
foreach(doc sim/dsc-sim.1)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${doc})
    install(FILES ${PROJECT_SOURCE_DIR}/${doc} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
      COMPONENT runtime)
  endif()
endforeach()
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
set(CPACK_PACKAGE_CONTACT "velastra developers <velastra@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Telescope controller plug-in for velastra, with a stand-in host and a simulated box")
set(CPACK_PACKAGE_DESCRIPTION
  "Controller.plug reads a digital setting-circle box over a serial port and reports\n\
the telescope's position to the velastra planetarium. velastra-host loads the\n\
plug-in on Linux and drives it from the terminal; dsc-sim simulates the box on a\n\
pseudo-terminal. 'velastra-host --demo' shows the whole chain at work.")
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
