# Run by `cmake --install`: the entry that starts Moxel at login. Desktops read
# /etc/xdg/autostart, so a system install (prefix /usr or /usr/local) puts it there; any other
# prefix keeps it inside, in etc/xdg/autostart (copy it to ~/.config/autostart for one user).
# Decided at install time, since `cmake --install --prefix` may name another prefix than the
# configured one.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(autostart /etc/xdg/autostart)
else()
  set(autostart "${CMAKE_INSTALL_PREFIX}/etc/xdg/autostart")
endif()
# file(INSTALL) puts DESTDIR in front and records the file in the install manifest.
file(INSTALL "${MOXEL_AUTOSTART_SOURCE}" DESTINATION "${autostart}" RENAME moxel.desktop)
