# Cross-builds orvalis for 64-bit Windows with Debian's MinGW-w64 compilers
# (the posix flavour, whose C++ runtime has std::thread), and runs the test
# programs under Wine. The preset windows names this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Headers and libraries come from the MinGW-w64 tree and from the libraries
# that scripts/windows builds for Windows (freeglut, GoogleTest and Google
# Benchmark, in build/windows-deps/ or where ORVALIS_WINDOWS_DEPS says);
# programs from the host.
if(DEFINED ENV{ORVALIS_WINDOWS_DEPS})
    set(ORVALIS_WINDOWS_DEPS $ENV{ORVALIS_WINDOWS_DEPS})
else()
    set(ORVALIS_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${ORVALIS_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthreads are linked in, so the programs need
# only the DLLs that come with Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine with a prefix of the build's own (made on
# first use), without Wine's debug chatter, and without the .NET and HTML
# engines it would offer to download into a new prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= wine)
