# Read by cpack before it makes the Debian package. Without dpkg-shlibdeps, CPack would leave the
# libraries that the program links out of the package's dependencies and make a package that
# installs but cannot start, so it stops instead.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(ORLO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT ORLO_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps is missing: install dpkg-dev to make the Debian package.")
  endif()
endif()
