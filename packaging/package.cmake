# Installation and the Debian package, included by the top-level CMakeLists.
#
#   cmake --install build --prefix PREFIX     a hand installation
#   (cd build && cpack -G DEB)                the package, prefix /usr
#
# The same layout under any prefix:
#   lib/exporttotale/exporttotale, exporttotale-admin, exporttotale-cron
#                                the programs, and PARAMETRIQUORVANDELIX.INI:
#                                a link to the parameters file in ETC
#   bin/exporttotale, bin/exporttotale-admin
#                                links to the programs
#   ETC/exporttotale/PARAMETRIQUORVANDELIX.INI
#                                the parameters file (the annotated example)
#   UNITDIR/                     the systemd units, none enabled
#   share/man/man1/              the manual pages (Italian, like the programs)
#   share/doc/exporttotale/      README.md, copyright, changelog.gz, examples/
# where ETC is /etc and UNITDIR /lib/systemd/system for the prefix /usr, and
# PREFIX/etc and PREFIX/lib/systemd/system otherwise (packaging/install-layout.cmake).
# Only the "runtime" component is installed: the test programs and the
# fixture builder never are.
include(GNUInstallDirs)
# Installing (and cpack, which installs) takes what was built and does not
# start a build of every target, test programs included, first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# Directories made by the install step get the modes Debian expects,
# whatever the umask of whoever builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(EXPORTTOTALE_MAINTAINER "exporttotale developers <maintainers@exporttotale.example>"
    CACHE STRING "Maintainer of the Debian package, \"Name <address>\"")
# The date of this version's changelog entry, also the date of the manual
# pages, so that a build gives the same package on any day.
set(ET_RELEASE_DATE "Thu, 10 Dec 2026 12:00:00 +0000")
set(ET_RELEASE_EPOCH 1796904000)
set(ET_PKGLIBDIR lib/exporttotale)
set(ET_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/exporttotale)
set(ET_PACKAGING_DIR ${CMAKE_CURRENT_BINARY_DIR}/packaging)

install(TARGETS exporttotale exporttotale-admin
        RUNTIME DESTINATION ${ET_PKGLIBDIR} COMPONENT runtime)
install(PROGRAMS packaging/exporttotale-cron DESTINATION ${ET_PKGLIBDIR} COMPONENT runtime)

# The commands in bin/ are relative links into the programs' directory, so
# that both programs find their parameters file beside their real path.
file(RELATIVE_PATH ET_BIN_TO_PKGLIB /${CMAKE_INSTALL_BINDIR} /${ET_PKGLIBDIR})
file(MAKE_DIRECTORY ${ET_PACKAGING_DIR}/bin ${ET_PACKAGING_DIR}/man)
foreach(program exporttotale exporttotale-admin)
  file(CREATE_LINK ${ET_BIN_TO_PKGLIB}/${program} ${ET_PACKAGING_DIR}/bin/${program} SYMBOLIC)
  install(FILES ${ET_PACKAGING_DIR}/bin/${program}
          DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endforeach()

# The manual pages, from their scdoc sources, compressed as Debian installs
# them (gzip -n: no name or time stamp inside, so the same build gives the
# same bytes).
find_program(SCDOC_EXECUTABLE scdoc)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
if(SCDOC_EXECUTABLE)
  set(pages)
  foreach(page exporttotale exporttotale-admin)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/packaging/man/${page}.1.scd)
    set(page_gz ${ET_PACKAGING_DIR}/man/${page}.1.gz)
    add_custom_command(
      OUTPUT ${page_gz}
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ET_RELEASE_EPOCH}
              ${SCDOC_EXECUTABLE} < ${source} > ${ET_PACKAGING_DIR}/man/${page}.1
      COMMAND ${GZIP_EXECUTABLE} -9 -n -f ${ET_PACKAGING_DIR}/man/${page}.1
      DEPENDS ${source}
      COMMENT "Manual page ${page}(1)"
      VERBATIM)
    list(APPEND pages ${page_gz})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
else()
  message(WARNING "scdoc not found: no manual pages (scripts/install-deps installs it)")
endif()

# The documentation: the copyright and changelog name the maintainer.
configure_file(packaging/debian/copyright.in ${ET_PACKAGING_DIR}/doc/copyright @ONLY)
configure_file(packaging/debian/changelog.in ${ET_PACKAGING_DIR}/doc/changelog @ONLY)
add_custom_command(
  OUTPUT ${ET_PACKAGING_DIR}/doc/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${ET_PACKAGING_DIR}/doc/changelog
          > ${ET_PACKAGING_DIR}/doc/changelog.gz
  DEPENDS ${ET_PACKAGING_DIR}/doc/changelog
  VERBATIM)
add_custom_target(package-docs ALL DEPENDS ${ET_PACKAGING_DIR}/doc/changelog.gz)
install(FILES README.md ${ET_PACKAGING_DIR}/doc/copyright ${ET_PACKAGING_DIR}/doc/changelog.gz
        DESTINATION ${ET_DOCDIR} COMPONENT runtime)
install(FILES packaging/PARAMETRIQUORVANDELIX.INI
        DESTINATION ${ET_DOCDIR}/examples COMPONENT runtime)

# The parameters file, its link and the units: their places depend on the
# final prefix.
install(CODE "
  set(ET_SOURCE_DIR \"${CMAKE_CURRENT_SOURCE_DIR}\")
  set(ET_WORK_DIR \"${ET_PACKAGING_DIR}/systemd\")
  set(ET_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(ET_PKGLIBDIR \"${ET_PKGLIBDIR}\")
  include(\"${CMAKE_CURRENT_SOURCE_DIR}/packaging/install-layout.cmake\")
" COMPONENT runtime)

# The Debian package.
set(CPACK_PACKAGE_NAME exporttotale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${EXPORTTOTALE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "unattended export of a Firebird business database to an online catalogue")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "exporttotale runs beside the Firebird database of a business-management
system, started by a systemd timer or cron. Each run reads stock, price
lists or customer markups, writes semicolon-separated files, uploads them by
FTP to the web side of an online catalogue and requests the HTTP trigger
scripts that import them; its exit status says whether it completed.

The package holds the two programs (exporttotale and the administration
command exporttotale-admin, which writes the configuration and checks it),
the parameters file in /etc/exporttotale, a hardened systemd service and
timer for each kind of run (stock, price lists, promo at stock), templates of
them for further installations on the same host, a cron wrapper and Italian
manual pages. It creates the system user exporttotale and its state
directory /var/lib/exporttotale; it enables nothing.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The maintainer scripts create the user (adduser); the conffile is the
# parameters file.
configure_file(packaging/debian/postinst ${ET_PACKAGING_DIR}/debian/postinst COPYONLY)
configure_file(packaging/debian/postrm ${ET_PACKAGING_DIR}/debian/postrm COPYONLY)
configure_file(packaging/debian/conffiles ${ET_PACKAGING_DIR}/debian/conffiles COPYONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${ET_PACKAGING_DIR}/debian/conffiles ${ET_PACKAGING_DIR}/debian/postinst
    ${ET_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies: dpkg-shlibdeps (dpkg-dev) finds the packages of the libraries
# the programs link: the Firebird client (libfbclient2), libcurl in its
# OpenSSL flavour (libcurl4) and the C and C++ runtime. Without it, the two
# that matter are named by hand.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libfbclient2 (>= 3.0), libcurl4 (>= 7.85)")
endif()
# The embedded engine, for databases opened without a server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firebird3.0-server")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-server-core")
set(CPACK_COMPONENTS_ALL runtime)
include(CPack)
