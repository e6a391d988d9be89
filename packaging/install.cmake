# Installing like a desktop program, and the Debian package made from that.
include(GNUInstallDirs)

set(_pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_gen})

install(TARGETS vivadizuzud vivadizuzud-cli reader-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_pkg}/vivadizuzud.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/vivadizuzud.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants manual pages and its changelog compressed, reproducibly (-n: no time stamp).
find_program(GZIP gzip REQUIRED)
set(_compressed)
foreach(_file vivadizuzud.1 vivadizuzud-cli.1 vivadizuzud-reader-sim.1 changelog)
  add_custom_command(OUTPUT ${_gen}/${_file}.gz
    COMMAND ${GZIP} -9 -n -c ${_pkg}/${_file} > ${_gen}/${_file}.gz
    DEPENDS ${_pkg}/${_file} VERBATIM)
  list(APPEND _compressed ${_gen}/${_file}.gz)
endforeach()
add_custom_target(compressed-docs ALL DEPENDS ${_compressed})
install(FILES ${_gen}/vivadizuzud.1.gz ${_gen}/vivadizuzud-cli.1.gz ${_gen}/vivadizuzud-reader-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg}/vivadizuzud-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vivadizuzud-cli)
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
file. The window speaks Hungarian. vivadizuzud-cli does the same from a\n\
terminal or a script, lists the serial ports and checks a reader against a\n\
code list. A reader simulator for trying the program without hardware is\n\
included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found at run time, not linked: the window's platform plugin, Qt's Hungarian texts, the fonts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
include(CPack)
