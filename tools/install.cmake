# Installs the soundboard as a desktop program (all under COMPONENT
# soundboard): bin/vostrel-soundboard, the board maker bin/vostrel-make-board
# (a program that appends a board to a copy of the soundboard), the desktop
# entry, hicolor icons, the man pages (sections 6 and 1), the boot unit and
# its command (sbin/vostrel-soundboard-boot) and the documents,
# and packages that component alone as a Debian package with CPack
# (`make package`).
#
# Included by the top-level CMakeLists; VOSTREL_INSTALL_SOURCE_DIR is the
# source tree. Only the top-level project sets up CPack.
if(NOT VOSTREL_INSTALL_SOURCE_DIR)
  set(VOSTREL_INSTALL_SOURCE_DIR ${CMAKE_SOURCE_DIR})
endif()
include(GNUInstallDirs)
set(VOSTREL_INSTALL_FILES ${VOSTREL_INSTALL_SOURCE_DIR}/tools/install)
set(VOSTREL_INSTALL_GEN ${CMAKE_BINARY_DIR}/install-gen)
set(VERSION ${PROJECT_VERSION}) # for the man page and changelog templates

install(TARGETS vostrel-soundboard vostrel-make-board RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT soundboard)
install(FILES ${VOSTREL_INSTALL_FILES}/vostrel-soundboard.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT soundboard)
# Booting into the board: the systemd unit (cage through XWayland, one
# instance per user) and the command that enables it for a user and a board.
install(FILES ${VOSTREL_INSTALL_FILES}/vostrel-soundboard@.service
        DESTINATION lib/systemd/system COMPONENT soundboard)
install(PROGRAMS ${VOSTREL_INSTALL_FILES}/vostrel-soundboard-boot
        DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT soundboard)
foreach(size 32 48 64 128 256)
  install(FILES ${VOSTREL_INSTALL_FILES}/icons/vostrel-soundboard-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME vostrel-soundboard.png COMPONENT soundboard)
endforeach()

# Man page and changelog, stamped with the version and compressed as Debian
# wants them (gzip -n: no name or time stamp, so the bytes are reproducible).
# Made while configuring (configure_file reruns it when a template changes),
# so installing needs no build step of its own.
find_program(VOSTREL_GZIP gzip REQUIRED)
foreach(name vostrel-soundboard.6 vostrel-make-board.1 changelog)
  configure_file(${VOSTREL_INSTALL_FILES}/${name} ${VOSTREL_INSTALL_GEN}/${name} @ONLY)
  execute_process(COMMAND ${VOSTREL_GZIP} -9nfk ${VOSTREL_INSTALL_GEN}/${name}
                  RESULT_VARIABLE gzip_status)
  if(NOT gzip_status EQUAL 0)
    message(FATAL_ERROR "gzip ${VOSTREL_INSTALL_GEN}/${name} failed")
  endif()
endforeach()
install(FILES ${VOSTREL_INSTALL_GEN}/vostrel-soundboard.6.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT soundboard)
install(FILES ${VOSTREL_INSTALL_GEN}/vostrel-make-board.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT soundboard)
set(VOSTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vostrel-soundboard)
install(FILES ${VOSTREL_INSTALL_SOURCE_DIR}/README.md ${VOSTREL_INSTALL_FILES}/copyright
              ${VOSTREL_INSTALL_GEN}/changelog.gz
        DESTINATION ${VOSTREL_DOC_DIR} COMPONENT soundboard)
# The README's pictures, where its links look for them.
install(FILES ${VOSTREL_INSTALL_SOURCE_DIR}/docs/board.png
              ${VOSTREL_INSTALL_SOURCE_DIR}/docs/custom_board.png
        DESTINATION ${VOSTREL_DOC_DIR}/docs COMPONENT soundboard)

if(NOT PROJECT_NAME STREQUAL "vostrel")
  return()
endif()

# The Debian package: the soundboard component only (the framework's
# component, if installed, is not in it). Depends come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vostrel-soundboard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vostrel Soundboard developers")
set(CPACK_PACKAGE_CONTACT "Vostrel Soundboard developers <developers@vostrel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "touch-screen soundboard")
set(CPACK_PACKAGE_DESCRIPTION
    "A screen of buttons, each with a short caption and a sound compiled into\nthe program: press a button to highlight it, lift the finger to play its\nsound. It runs on SDL 1.2 or sdl12-compat, with OpenGL ES 1.1 through EGL\nor, where that is missing, OpenGL.")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL soundboard)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_PACKAGE_NAME vostrel-soundboard)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the program loads without linking it, which dpkg-shlibdeps cannot see:
# GLVND's libEGL loads its vendor library (Mesa's libegl-mesa0) by name from a
# JSON file, SDL opens libGL with dlopen for the fallback context, and Mesa's
# drivers render where no GPU driver is installed. libegl1 and libgles1, which
# the program links, come from dpkg-shlibdeps with the rest of the computed
# Depends, appended to these.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl-mesa0, libgl1, libgl1-mesa-dri")
# vostrel-make-board decodes sounds by running sox (libebur128, which it
# links, comes from dpkg-shlibdeps); the program itself needs neither. The
# boot unit runs the board in cage; a kiosk suspends screen blanking through
# libXss, which it loads when asked to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sox, libsox-fmt-all, cage, xwayland, libxss1")
# A cross build (tools/cross/toolchain.cmake) packages for its own
# architecture, with Depends computed against its sysroot.
if(VOSTREL_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VOSTREL_DEB_ARCH})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  # Only the program's Depends are computed against the sysroot: the maker's
  # one library of its own is named here.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, libebur128-1")
  # Another release's sysroot for the Depends (a trixie package built with
  # Debian 12's cross sysroot), else the build's own.
  if(VOSTREL_DEPENDS_SYSROOT)
    set(CPACK_VOSTREL_SYSROOT ${VOSTREL_DEPENDS_SYSROOT})
  else()
    set(CPACK_VOSTREL_SYSROOT ${VOSTREL_SYSROOT})
  endif()
  set(CPACK_VOSTREL_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_VOSTREL_PROGRAM ${CMAKE_BINARY_DIR}/vostrel-soundboard)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/tools/cross/cpack_depends.cmake)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_FILE_NAME vostrel-soundboard)
include(CPack)
