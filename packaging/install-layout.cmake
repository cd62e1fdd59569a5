# Run by the install step (cmake --install, cpack): the parts of the
# installation whose place depends on the final prefix, which only the
# install step knows (CMAKE_INSTALL_PREFIX here; cpack installs with the
# package's prefix and DESTDIR). For the prefix /usr, the distribution's
# places: /etc/exporttotale and /lib/systemd/system; for any other prefix
# PREFIX/etc/exporttotale and PREFIX/lib/systemd/system.
#   ET_SOURCE_DIR   the source tree
#   ET_WORK_DIR     where the written units are kept before installing
#   ET_BINDIR       the commands' directory, relative to the prefix
#   ET_PKGLIBDIR    the programs' directory, relative to the prefix
#
# Installed here:
#   ETC/exporttotale/PARAMETRIQUORVANDELIX.INI   the annotated example, unless
#                                                a parameters file is there
#   PKGLIBDIR/PARAMETRIQUORVANDELIX.INI          a link to it: the programs
#                                                find it beside themselves
#   UNITDIR/exporttotale{,-listini,-promo}{,@}.{service,timer}
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(confdir "/etc/exporttotale")
  set(unitdir "/lib/systemd/system")
else()
  set(confdir "${prefix}/etc/exporttotale")
  set(unitdir "${prefix}/lib/systemd/system")
endif()
set(destdir "$ENV{DESTDIR}")

# The parameters file, kept when there is one: a second hand installation
# into the same prefix leaves the administrator's settings alone.
set(parameters "PARAMETRIQUORVANDELIX.INI")
if(NOT EXISTS "${destdir}${confdir}/${parameters}")
  file(INSTALL DESTINATION "${confdir}" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES "${ET_SOURCE_DIR}/packaging/${parameters}")
endif()
set(link "${destdir}${prefix}/${ET_PKGLIBDIR}/${parameters}")
message(STATUS "Installing: ${link} -> ${confdir}/${parameters}")
file(REMOVE "${link}")
file(CREATE_LINK "${confdir}/${parameters}" "${link}" SYMBOLIC)

# The units, one service and one timer per run kind, and the same again as
# templates that run the installation /etc/exporttotale/INSTANCE/.
#   name; switch; what the run does; timer's time
set(kinds
    "exporttotale||giacenze|02:00"
    "exporttotale-listini| -p|listini e clienti|03:00"
    "exporttotale-promo| -s|promo a stock|02:30")
set(EXPORTTOTALE_BINDIR "${prefix}/${ET_BINDIR}")
set(units)
foreach(kind IN LISTS kinds)
  string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)$" fields "${kind}")
  set(base "${CMAKE_MATCH_1}")
  set(UNIT_SWITCH "${CMAKE_MATCH_2}")
  set(what "${CMAKE_MATCH_3}")
  set(time "${CMAKE_MATCH_4}")
  set(UNIT_CALENDAR "*-*-* ${time}:00")
  set(UNIT_WHEN "every night at ${time}")
  foreach(template IN ITEMS "" "@")
    set(name "${base}${template}")
    set(UNIT_NAME "${name}.service")
    if(template STREQUAL "")
      set(UNIT_COMMENT "The run \"exporttotale${UNIT_SWITCH}\" of the installation ${confdir}.")
      set(UNIT_TIMER "${name}.timer")
      set(UNIT_DESCRIPTION "exporttotale: ${what} verso il catalogo online")
      set(UNIT_INSTALLATION "")
    else()
      set(UNIT_COMMENT
          "The run \"exporttotale${UNIT_SWITCH}\" of the installation ${confdir}/INSTANCE.")
      set(UNIT_TIMER "${base}@INSTANCE.timer")
      set(UNIT_DESCRIPTION "exporttotale (%i): ${what} verso il catalogo online")
      set(UNIT_INSTALLATION
          "# One installation per instance: its parameters file is\n# ${confdir}/%i/${parameters},\n# and /etc/default/exporttotale-%i may name a Firebird user of its own.\nEnvironment=EXPORTTOTALE_DIR=${confdir}/%i\nEnvironmentFile=-/etc/default/exporttotale-%i\n")
    endif()
    configure_file("${ET_SOURCE_DIR}/packaging/systemd/service.in"
                   "${ET_WORK_DIR}/${name}.service" @ONLY)
    configure_file("${ET_SOURCE_DIR}/packaging/systemd/timer.in"
                   "${ET_WORK_DIR}/${name}.timer" @ONLY)
    list(APPEND units "${ET_WORK_DIR}/${name}.service" "${ET_WORK_DIR}/${name}.timer")
  endforeach()
endforeach()
file(INSTALL DESTINATION "${unitdir}" TYPE FILE
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES ${units})
