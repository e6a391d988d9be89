# Installing like a desktop program, and the Debian package made from that.
include(GNUInstallDirs)

set(_pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_gen})

install(TARGETS vivadizuzud vivadizuzud-cards vivadizuzud-cli reader-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_pkg}/vivadizuzud.desktop ${_pkg}/vivadizuzud-cards.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/vivadizuzud.svg ${_pkg}/vivadizuzud-cards.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# What software centres show: tied to the desktop entry by its launchable.
install(FILES ${_pkg}/hu.vivadizuzud.Vivadizuzud.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants manual pages and its changelog compressed, reproducibly (-n: no time stamp).
# The Hungarian pages (hu/) stand beside the English ones and say the same.
find_program(GZIP gzip REQUIRED)
file(MAKE_DIRECTORY ${_gen}/hu)
set(_compressed)
set(_pages vivadizuzud.1 vivadizuzud-cards.1 vivadizuzud-cli.1 vivadizuzud-reader-sim.1)
foreach(_file ${_pages} changelog hu/vivadizuzud.1 hu/vivadizuzud-cards.1 hu/vivadizuzud-cli.1 hu/vivadizuzud-reader-sim.1)
  add_custom_command(OUTPUT ${_gen}/${_file}.gz
    COMMAND ${GZIP} -9 -n -c ${_pkg}/${_file} > ${_gen}/${_file}.gz
    DEPENDS ${_pkg}/${_file} VERBATIM)
  list(APPEND _compressed ${_gen}/${_file}.gz)
endforeach()
add_custom_target(compressed-docs ALL DEPENDS ${_compressed})
foreach(_page ${_pages})
  install(FILES ${_gen}/${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_gen}/hu/${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/hu/man1)
endforeach()
install(FILES ${_pkg}/vivadizuzud-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vivadizuzud-cli)
# Nightly snapshots as a systemd user timer, the instance being the port number.
install(FILES ${_pkg}/vivadizuzud-snapshot@.service ${_pkg}/vivadizuzud-snapshot@.timer DESTINATION lib/systemd/user)
install(FILES ${_pkg}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vivadizuzud)
install(FILES ${_gen}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vivadizuzud RENAME changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vivadizuzud)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vivadizuzud developers <dev@vivadizuzud.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "door-phone card reader code memory transfer")
set(CPACK_PACKAGE_DESCRIPTION
  "Moves the card-code memory of a door-phone card reader between the reader,\n\
on a serial port, and a comma-separated code list file. Upload writes every\n\
card code of the file into the reader, one acknowledged record at a time;\n\
readout reads the reader's whole memory and appends its valid codes to the\n\
file. The window speaks Hungarian. vivadizuzud-cards shows the list's cards\n\
by name, edits them, checks them against the reader, syncs and goes back to a\n\
snapshot. vivadizuzud-cli does the same from a terminal or a script, lists\n\
the serial ports, checks a reader against a code list and makes it hold\n\
exactly a list, with a snapshot of its memory before every change. A reader\n\
simulator for trying the program without hardware is included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found at run time, not linked: the window's platform plugin, Qt's Hungarian texts, the fonts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation")
# The command line's completion needs bash-completion's helpers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
include(CPack)
