# Read by cpack before it makes the Debian package, which needs two tools beyond those that build
# the program: file, which tells CPack which installed files are programs, and dpkg-shlibdeps
# (from dpkg-dev), which finds the libraries they link. Without file CPack stops with advice that
# names no package to install; without dpkg-shlibdeps it would make a package that leaves those
# libraries out of its dependencies and so installs but cannot start. Both stop here instead.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(missing)
  find_program(ORLO_FILE file)
  if(NOT ORLO_FILE)
    list(APPEND missing file)
  endif()
  find_program(ORLO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT ORLO_DPKG_SHLIBDEPS)
    list(APPEND missing dpkg-dev)
  endif()
  if(missing)
    list(JOIN missing " " packages)
    message(FATAL_ERROR "Making the Debian package needs these packages: ${packages}. "
                        "Install them with: sudo apt-get install ${packages}")
  endif()
endif()
