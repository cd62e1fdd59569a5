# Run by the install step (cmake --install, cpack): writes the systemd units
# with the program's installed path and installs them. CMAKE_INSTALL_PREFIX is
# the final prefix here; DESTDIR, when set, is honoured by file(INSTALL).
#   ET_UNITS_SOURCE_DIR   the unit templates (*.in)
#   ET_UNITS_WORK_DIR     where the written units are kept before installing
#   ET_UNITS_DESTINATION  destination, relative to the prefix
#   ET_BINDIR             the programs' directory, relative to the prefix
set(EXPORTTOTALE_BINDIR "${CMAKE_INSTALL_PREFIX}/${ET_BINDIR}")
file(GLOB templates "${ET_UNITS_SOURCE_DIR}/*.in")
set(units)
foreach(template IN LISTS templates)
  get_filename_component(name "${template}" NAME_WLE)
  configure_file("${template}" "${ET_UNITS_WORK_DIR}/${name}" @ONLY)
  list(APPEND units "${ET_UNITS_WORK_DIR}/${name}")
endforeach()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${ET_UNITS_DESTINATION}" TYPE FILE
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES ${units})
