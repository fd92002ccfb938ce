# The Debian package (`make package`): CPack's DEB generator over the same install rules
# as `cmake --install`, configured with the prefix /usr:
#
#   /usr/lib/mavu/MAVU.app/...             the bundle: app, daemon, power tool, Info.plist
#   /usr/bin/mavu                          a link to the app
#   /usr/share/applications/mavu.desktop, /usr/share/icons/hicolor/scalable/apps/mavu.svg
#   /usr/share/man/man1/mavu.1.gz, /usr/share/doc/mavu/
#   /usr/share/dbus-1/system-services/..., /usr/share/dbus-1/system.d/...   activation, policy
#   /usr/share/polkit-1/actions/com.norvel.mavu.policy                     who may use it
#   /lib/systemd/system/group.com.norvel.mavu.helper.service               the daemon's unit
#   /etc/mavu/anchor.pem                   the anchor the daemon trusts (a configuration file)
#
# Depends comes from the programs' libraries (dpkg-shlibdeps) plus the bus, polkit and the
# panels' typefaces. The maintainer scripts enable the daemon's unit on a first
# installation (the bus then starts the daemon on demand) and reload the bus and systemd;
# on removal they stop and disable the unit and remove /run/mavu. CPack never strips the
# programs: that would break their signatures (`make package` has the linker strip them).

set(MAVU_PACKAGE_MAINTAINER "MAVU developers <mavu@norvel.com>"
    CACHE STRING "The Maintainer field of the Debian package")
set(MAVU_PACKAGE_RELEASE "1" CACHE STRING "The Debian revision of the package")
set(MAVU_PACKAGE_VERSION "${PROJECT_VERSION}-${MAVU_PACKAGE_RELEASE}")

set(package_dir "${PROJECT_SOURCE_DIR}/resources/package")
set(package_build_dir "${CMAKE_BINARY_DIR}/package")
set(doc_dir "${CMAKE_INSTALL_DATADIR}/doc/mavu")

# What Debian asks of every package: a copyright file, a compressed changelog, a manual
# page for the command, and a word to lintian about what it would otherwise flag.
string(TIMESTAMP MAVU_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${package_dir}/changelog.Debian.in ${package_build_dir}/changelog.Debian @ONLY)
configure_file(${package_dir}/mavu.1 ${package_build_dir}/mavu.1 @ONLY)
foreach(file changelog.Debian mavu.1)
    execute_process(COMMAND gzip -9nf ${package_build_dir}/${file} RESULT_VARIABLE gzip_status)
    if(NOT gzip_status EQUAL 0)
        message(FATAL_ERROR "gzip failed on ${package_build_dir}/${file}")
    endif()
endforeach()
install(FILES ${package_dir}/copyright ${package_build_dir}/changelog.Debian.gz
    DESTINATION ${doc_dir})
install(FILES ${package_build_dir}/mavu.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${package_dir}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME mavu)

file(WRITE ${package_build_dir}/conffiles "${MAVU_INSTALL_ANCHOR}\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mavu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${MAVU_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps a laptop awake with its lid closed, safely")
# Absolute install destinations (/etc, /lib/systemd) land in the package, not on this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES OFF)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${MAVU_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus, polkitd, fonts-comic-neue, fonts-quicksand")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd-sysv")
# The extended description; CPack puts the summary in front and indents every line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "MAVU keeps a laptop running with its lid closed for a chosen time (1, 2,
4 or 8 hours, or with no end) and lets it sleep normally again afterwards.
An eye in the system tray shows whether it holds; a click, its menu or a
global hot key switches it.

A small root daemon, started on demand by the system bus, alone blocks
lid-close suspend through logind. It lets go on its own when the time is
up, when the app goes quiet, on a low or unreadable battery and on critical
heat, and serves only the signed app of a user polkit allows.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${package_dir}/postinst ${package_dir}/prerm ${package_dir}/postrm
    ${package_build_dir}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
