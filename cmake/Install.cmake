# Where `cmake --install` puts the program: quenda in bin/, every shared library of its own in
# a private lib/<multiarch>/quenda/ found through RUNPATH, the bundled files in share/quenda/,
# and the desktop entry, AppStream metainfo, man page, icon and systemd unit where a desktop
# and a service manager look for them. Everything is relative to the prefix, so an installed
# tree works wherever it is moved.
include(GNUInstallDirs)

if(CMAKE_LIBRARY_ARCHITECTURE)
  set(QUENDA_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}/quenda")
else()
  set(QUENDA_INSTALL_LIBDIR "lib/quenda")
endif()
set(QUENDA_SYSTEMD_UNITDIR "lib/systemd/system" CACHE STRING
  "Where the systemd unit goes (relative to the prefix, or absolute)")
set(QUENDA_APPSTREAM_ID "io.github.quenda.Quenda")

# The program's RUNPATH: the private library folder once installed, with the build tree's lib/
# after it while it is in the build tree. It is linked with both and cut to the first at
# install: the cut string fits where it was, whereas CMake's own build-to-install rewrite pads
# the build RUNPATH with an empty entry, which makes the loader search the current directory.
file(RELATIVE_PATH QUENDA_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${QUENDA_INSTALL_LIBDIR})
set(QUENDA_PROGRAM_INSTALL_RPATH "$ORIGIN/${QUENDA_BIN_TO_LIB}")
set(QUENDA_PROGRAM_BUILD_RPATH "${QUENDA_PROGRAM_INSTALL_RPATH}:$ORIGIN/../lib")

# quenda_install_program(target): gives a program of the install that RUNPATH and installs
# it in bin/.
function(quenda_install_program target)
  set_target_properties(${target} PROPERTIES
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "${QUENDA_PROGRAM_BUILD_RPATH}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "
    file(RPATH_CHANGE FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\"
      OLD_RPATH \"${QUENDA_PROGRAM_BUILD_RPATH}\" NEW_RPATH \"${QUENDA_PROGRAM_INSTALL_RPATH}\")")
endfunction()

# quenda_install_library(target ...): a shared library of the program (a component library,
# the Winsock layer, a platform library) goes to the private library folder. Every control
# library made with quenda_add_control_library is installed through this.
function(quenda_install_library)
  install(TARGETS ${ARGN}
    LIBRARY DESTINATION ${QUENDA_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${QUENDA_INSTALL_LIBDIR})
endfunction()

# The files that are no target of the build; called once every module is added.
function(quenda_install_files)
  set(dist ${PROJECT_SOURCE_DIR}/dist)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quenda)
  install(FILES ${dist}/quenda.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    RENAME ${QUENDA_APPSTREAM_ID}.desktop)
  install(FILES ${dist}/quenda.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    RENAME ${QUENDA_APPSTREAM_ID}.metainfo.xml)
  install(FILES ${dist}/quenda.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The program's icon is the logo the About tab shows.
  install(FILES ${PROJECT_SOURCE_DIR}/app/views/icons/quenda.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # The unit names the program by its full path, so it is written at install time, when the
  # prefix (`cmake --install --prefix`) is known.
  if(IS_ABSOLUTE ${QUENDA_SYSTEMD_UNITDIR})
    set(unitdir ${QUENDA_SYSTEMD_UNITDIR})
  else()
    set(unitdir "\${CMAKE_INSTALL_PREFIX}/${QUENDA_SYSTEMD_UNITDIR}")
  endif()
  install(CODE "
    set(QUENDA_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quenda\")
    configure_file(${dist}/quenda.service.in \"\$ENV{DESTDIR}${unitdir}/quenda.service\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\$ENV{DESTDIR}${unitdir}/quenda.service\")
    message(STATUS \"Installing: \$ENV{DESTDIR}${unitdir}/quenda.service\")")
endfunction()
