# Run by `cmake --install`: gives the installed program the raw-socket capability, as the
# system's ping is installed, so that it can probe for every user even where unprivileged ICMP
# sockets are off. Needs ORLO_INSTALLED_PROGRAM, the program's path below the install prefix.
set(program "$ENV{DESTDIR}${ORLO_INSTALLED_PROGRAM}")
set(command "sudo setcap cap_net_raw+ep ${ORLO_INSTALLED_PROGRAM}")

if(NOT "$ENV{DESTDIR}" STREQUAL "")
  # A staged install (a package being built): the package's post-install step grants it.
  message(STATUS "Staged install: grant the capability on the target system with: ${command}")
  return()
endif()

execute_process(COMMAND id -u OUTPUT_VARIABLE user_id OUTPUT_STRIP_TRAILING_WHITESPACE)
find_program(ORLO_SETCAP setcap PATHS /usr/sbin /sbin NO_CACHE)
if(NOT user_id STREQUAL "0")
  message(STATUS "To let every user probe with ${program}, run: ${command}")
elseif(NOT ORLO_SETCAP)
  message(WARNING "setcap is not installed (Debian package libcap2-bin), so ${program} has no "
                  "raw-socket capability. Install libcap2-bin and run: ${command}")
else()
  execute_process(COMMAND "${ORLO_SETCAP}" cap_net_raw+ep "${program}"
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  if(result EQUAL 0)
    message(STATUS "Granted cap_net_raw to ${program}")
  else()
    message(WARNING "Could not grant cap_net_raw to ${program} (${error}). Run: ${command}")
  endif()
endif()
