# SPDX-License-Identifier: GPL-3.0-or-later
# Installation and the Debian package.
#
# The program looks for its data files beside its own executable, so the
# executable and the data share one folder, <prefix>/lib/solvari, and the
# command on the PATH, <prefix>/bin/Solvari, is a relative symbolic link to it
# (Qt resolves the link: applicationDirPath() is the real folder).
include(GNUInstallDirs)

set(SOLVARI_INSTALL_APPDIR "lib/solvari" CACHE STRING
    "Folder, relative to the prefix, holding the executable and its data files")

# Data files the build copies beside the executable. They may be produced
# during the build, so they are taken from the runtime folder at install time.
set(_solvari_data_files Title.WAV Copyright.bmp default.bmp Solvari.html Solvari.en.html
  Mokugyo.SGM Bell.SGM)
foreach(_n RANGE 0 53)
  if(_n LESS 10)
    list(APPEND _solvari_data_files V0${_n}.SGM)
  else()
    list(APPEND _solvari_data_files V${_n}.SGM)
  endif()
endforeach()

install(TARGETS solvari-voice RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(SOLVARI_BUILD_APP)
  install(TARGETS Solvari RUNTIME DESTINATION ${SOLVARI_INSTALL_APPDIR})
  list(TRANSFORM _solvari_data_files PREPEND "${SOLVARI_RUNTIME_DIR}/"
       OUTPUT_VARIABLE _solvari_data_paths)
  install(FILES ${_solvari_data_paths} DESTINATION ${SOLVARI_INSTALL_APPDIR})

  # bin/Solvari -> ../lib/solvari/Solvari
  file(RELATIVE_PATH _solvari_link_target "/usr/${CMAKE_INSTALL_BINDIR}"
       "/usr/${SOLVARI_INSTALL_APPDIR}/Solvari")
  set(_solvari_link "${CMAKE_CURRENT_BINARY_DIR}/install/Solvari")
  file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/install")
  file(CREATE_LINK "${_solvari_link_target}" "${_solvari_link}" SYMBOLIC)
  install(PROGRAMS "${_solvari_link}" DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Desktop menu entry and icon.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/solvari.desktop.in
                 ${CMAKE_CURRENT_BINARY_DIR}/install/solvari.desktop @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/solvari.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/solvari.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/res/solvari.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps)
  install(FILES ${PROJECT_SOURCE_DIR}/res/solvari-48.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
          RENAME solvari.png)
  install(TARGETS solvari-page-png RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The licences of the program and of its data, as Debian wants them.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/solvari)

  # AppStream data for software centres.
  set(SOLVARI_APPSTREAM_ID "org.solvari.Solvari")
  # The project has no web site of its own yet: without one the metainfo
  # names no home page, and no screenshots, whose pictures software centres
  # fetch from the web (HOMEPAGE/docs/*.png, the README's pictures).
  set(SOLVARI_HOMEPAGE "" CACHE STRING
      "Home page named in the AppStream data, with the screenshots HOMEPAGE/docs/*.png")
  # Writes the metainfo for a home page (none when empty).
  function(solvari_write_metainfo out homepage)
    file(READ ${PROJECT_SOURCE_DIR}/cmake/${SOLVARI_APPSTREAM_ID}.metainfo.xml.in _meta)
    if(homepage STREQUAL "")
      string(REGEX REPLACE "[ ]*<url type=\"homepage\">[^\n]*\n" "" _meta "${_meta}")
      string(REGEX REPLACE "[ ]*<screenshots>.*</screenshots>\n" "" _meta "${_meta}")
    endif()
    set(SOLVARI_HOMEPAGE ${homepage})
    file(CONFIGURE OUTPUT ${out} CONTENT "${_meta}" @ONLY)
  endfunction()
  solvari_write_metainfo(${CMAKE_CURRENT_BINARY_DIR}/install/${SOLVARI_APPSTREAM_ID}.metainfo.xml
                         "${SOLVARI_HOMEPAGE}")
  # For the metadata test: the screenshots must stay valid for whoever sets
  # a home page (.invalid never resolves).
  solvari_write_metainfo(
    ${CMAKE_CURRENT_BINARY_DIR}/install/check/${SOLVARI_APPSTREAM_ID}.metainfo.xml
    "https://solvari.invalid")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/${SOLVARI_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The manual pages of the commands built, compressed as Debian's policy wants.
set(_solvari_commands solvari-voice)
if(SOLVARI_BUILD_APP)
  list(APPEND _solvari_commands Solvari solvari-page-png)
endif()
set(_solvari_man_pages "")
foreach(_cmd IN LISTS _solvari_commands)
  set(_page ${PROJECT_SOURCE_DIR}/docs/man/${_cmd}.1)
  set(_gz ${CMAKE_CURRENT_BINARY_DIR}/install/man/${_cmd}.1.gz)
  add_custom_command(OUTPUT ${_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/install/man
    COMMAND gzip -9n -c ${_page} > ${_gz}
    DEPENDS ${_page} VERBATIM)
  list(APPEND _solvari_man_pages ${_gz})
endforeach()
add_custom_target(solvari_man_pages ALL DEPENDS ${_solvari_man_pages})
install(FILES ${_solvari_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian package: cmake --build build --target package (or cpack in build/).
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "solvari")
set(CPACK_PACKAGE_VENDOR "Solvari")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Recites the Heart Sutra and lights each character in time with the voice")
set(CPACK_PACKAGE_DESCRIPTION
    "Solvari shows the whole Heart Sutra, plays a recorded voice phrase by phrase\n\
and lights each character green in time with it, in large outlined\n\
characters over a background picture of your choice. Japanese and English\n\
interface.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME "solvari")
set(CPACK_DEBIAN_PACKAGE_SECTION "education")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Solvari developers <solvari@example.org>")
# The Qt libraries come from the executable's own links when dpkg-shlibdeps
# is there; the rest is loaded at run time and is named here.
find_program(SOLVARI_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(SOLVARI_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "qt6-qpa-plugins, qt6-image-formats-plugins, fonts-ipafont-gothic")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libpulse0, libqt6dbus6 (>= 6.4), librubberband2, libfftw3-single3, qt6-qpa-plugins, qt6-image-formats-plugins, fonts-ipafont-gothic, libc6, libstdc++6")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_STRIP_FILES ON)
include(CPack)
