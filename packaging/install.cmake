# What `cmake --install` puts on the system besides the agent itself, and the Debian package
# that `cpack -G DEB` makes of it. Included from the top-level CMakeLists.txt.
include(GNUInstallDirs)

configure_file(${CMAKE_CURRENT_LIST_DIR}/varkel-agent.1.in
  ${CMAKE_CURRENT_BINARY_DIR}/varkel-agent.1 @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/varkel-agent.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Starting at login: the launcher reads the user's one-time setting and starts the agent; the
# systemd user unit and the XDG autostart entry both run it by name.
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/varkel-agent-login DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/varkel-agent.service DESTINATION lib/systemd/user)
# The autostart entry goes to /etc/xdg/autostart for the /usr prefix, which is where desktops
# look, and to PREFIX/etc/xdg/autostart for any other. Decided at install time, because cpack
# installs with a prefix of its own (a staging copy of /usr).
install(CODE "set(varkel_desktop_entry \"${CMAKE_CURRENT_LIST_DIR}/varkel-agent.desktop\")")
install(CODE [[
  string(REGEX REPLACE "/usr/?$" "" varkel_root "${CMAKE_INSTALL_PREFIX}")
  if(varkel_root STREQUAL CMAKE_INSTALL_PREFIX)
    set(varkel_root "${CMAKE_INSTALL_PREFIX}")
  endif()
  file(INSTALL DESTINATION "${varkel_root}/etc/xdg/autostart" TYPE FILE
    FILES "${varkel_desktop_entry}")
]])

# The stand-in tool, to try the installed agent without the real one.
install(PROGRAMS ${CMAKE_CURRENT_SOURCE_DIR}/examples/varkel-local
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varkel-agent)
set(CPACK_PACKAGE_CONTACT "varkel-agent developers <varkel-agent@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "shortcuts that send and fetch clipboard text with varkel")
# CPack writes the summary as the first line and indents the rest; a blank line separates
# paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
  "varkel-agent is a small background program for Wayland and X11 desktops. It gives the
command-line clipboard-sharing tool varkel two system-wide keyboard shortcuts:
ctrl+alt+c sends the clipboard text through the tool, ctrl+alt+b fetches the text
another machine sent and puts it on the clipboard. Every outcome is shown as a desktop
notification, in Vietnamese.

The tool itself is a separate program, not part of this package.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The X, Wayland and systemd libraries come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/deb-control/conffiles
  "/etc/xdg/autostart/varkel-agent.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/deb-control/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
