# Cross build for 32-bit Windows with Debian's MinGW-w64 compilers (g++-mingw-w64-i686).
#
# The posix thread flavour of the compilers: GoogleTest needs std::mutex, which the win32 flavour
# lacks. The drivers are named with their suffix so that update-alternatives does not matter.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(orlo_mingw_triple i686-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${orlo_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${orlo_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${orlo_mingw_triple}-windres)
# windres reads resource scripts in the ANSI code page unless told they are UTF-8.
set(CMAKE_RC_FLAGS_INIT "-c 65001")

# Libraries and headers from the MinGW tree only; programs (Wine, makensis) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${orlo_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program carries libgcc, libstdc++ and winpthread inside, so that it needs only the DLLs
# Windows ships. Only a fully static link does that: with -static-libgcc -static-libstdc++ the
# program still imports libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the test programs under Wine, in a throwaway prefix (see the script).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
