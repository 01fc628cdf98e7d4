# Run by `cmake --install`: grants the installed program the right to bind ports below 1024
# (the local POP3 server's port 110), where setcap exists and the installing user may use it.
# A staged install (DESTDIR, as CPack does) is left alone: the package's postinst grants it on
# the target machine, since packages do not carry file capabilities.
set(binary "$ENV{DESTDIR}${MOXEL_INSTALLED_BINARY}")
set(command "setcap cap_net_bind_service=+ep ${MOXEL_INSTALLED_BINARY}")
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "Staged install: port 110 is granted at installation (${command})")
  return()
endif()
# A program with a file capability runs in secure-execution mode: the loader ignores its
# "$ORIGIN/../lib" and takes libraries only from the system's folders and the folders of
# ld.so.conf. Granting the right elsewhere would leave a program that no user can start.
get_filename_component(libraries "${CMAKE_INSTALL_PREFIX}/lib" REALPATH)
find_program(MOXEL_LDCONFIG ldconfig PATHS /usr/sbin /sbin NO_CACHE)
set(loader_folders /lib /usr/lib)
if(MOXEL_LDCONFIG)
  execute_process(COMMAND ${MOXEL_LDCONFIG} -v -N OUTPUT_VARIABLE scanned ERROR_QUIET)
  string(REGEX MATCHALL "(^|\n)/[^:\n]*" configured "${scanned}")
  foreach(folder IN LISTS configured)
    string(STRIP "${folder}" folder)
    list(APPEND loader_folders "${folder}")
  endforeach()
endif()
list(FIND loader_folders "${libraries}" found)
if(found EQUAL -1)
  message(WARNING "Port 110 not granted: a program with that right loads libraries only from the system's folders, and ${libraries} is not one of them. Install with --prefix /usr or /usr/local to have it granted, or use a port above 1023: moxel settings set PopPort 1110")
  return()
endif()
find_program(MOXEL_SETCAP setcap PATHS /usr/sbin /sbin NO_CACHE)
if(NOT MOXEL_SETCAP)
  message(WARNING "setcap not found (Debian: apt install libcap2-bin). For port 110 run as root:\n  ${command}\nor use a port above 1023: moxel settings set PopPort 1110")
  return()
endif()
execute_process(COMMAND ${MOXEL_SETCAP} cap_net_bind_service=+ep ${binary}
  RESULT_VARIABLE granted ERROR_VARIABLE reason)
if(NOT granted EQUAL 0)
  string(STRIP "${reason}" reason)
  message(WARNING "Could not grant port 110 (${reason}). Run as root:\n  ${command}\nor use a port above 1023: moxel settings set PopPort 1110")
  return()
endif()
# The loader finds the libraries of a privileged program through its cache.
if(MOXEL_LDCONFIG)
  execute_process(COMMAND ${MOXEL_LDCONFIG} RESULT_VARIABLE cached)
  if(NOT cached EQUAL 0)
    message(WARNING "ldconfig failed: the program may not find ${libraries}")
  endif()
endif()
message(STATUS "Granted port 110: ${command}")
