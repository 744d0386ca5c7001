# GoogleTest for the tests and their support library: the system's package on Linux. There is no
# package for MinGW, so the Windows build compiles it from the sources Debian's libgtest-dev ships.
if(WIN32)
  if(NOT TARGET GTest::gtest)
    set(ORLO_GOOGLETEST_SOURCE_DIR /usr/src/googletest
        CACHE PATH "GoogleTest's sources, built with the Windows build's compiler")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ORLO_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
