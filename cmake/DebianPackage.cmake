# The Debian package, ferox-ini-editor_<version>_amd64.deb: the install rules of
# src/ plus what Debian asks of every package (copyright, changelog, manual page),
# laid out by CPack's DEB generator. scripts/package builds and checks it.
include(GNUInstallDirs)

set(FEROX_DEBIAN_SOURCE ${PROJECT_SOURCE_DIR}/resources/debian)
set(FEROX_DEBIAN_BUILD ${CMAKE_BINARY_DIR}/debian)
set(FEROX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ferox-ini-editor)

# The changelog and the manual page carry the version; Debian wants both
# compressed at the highest level and without a time stamp, so that the same
# sources give the same package.
configure_file(${FEROX_DEBIAN_SOURCE}/changelog.in ${FEROX_DEBIAN_BUILD}/changelog @ONLY)
configure_file(${FEROX_DEBIAN_SOURCE}/ferox-ini-editor.1.in ${FEROX_DEBIAN_BUILD}/ferox-ini-editor.1 @ONLY)
foreach(file changelog ferox-ini-editor.1)
  execute_process(COMMAND gzip -9nc ${FEROX_DEBIAN_BUILD}/${file}
                  OUTPUT_FILE ${FEROX_DEBIAN_BUILD}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${FEROX_DEBIAN_SOURCE}/copyright
        ${FEROX_DEBIAN_BUILD}/changelog.gz DESTINATION ${FEROX_DOC_DIR})
install(FILES ${FEROX_DEBIAN_BUILD}/ferox-ini-editor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferox-ini-editor)
set(CPACK_PACKAGE_VENDOR "The Ferox64 INI Editor maintainers")
set(CPACK_PACKAGE_CONTACT "Ferox64 INI Editor maintainers <maintainers@ferox64.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "add game entries to and edit Ferox64 settings files")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A small Qt desktop program for the people who maintain Ferox.ini, the
per-game settings file of the Ferox64 console emulator (one INI section per
game image, key=value lines inside it).
.
It adds a game entry to the Ferox.ini beside the program, opens any such file
in an editor that lists its game sections, shows a section's keys and values,
finds a key's line in the raw text and writes the edited text back, and mails
the updated file to the maintainers over SMTP.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.ferox64.example.org/")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links, with the versions they need, as
# dpkg-shlibdeps finds them in the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The mail window hands a message to the user's own mail program through
# xdg-email, a program rather than a library, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# <name>_<version>_<architecture>.deb, as apt and dpkg name packages.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Folders the install creates are 0755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
