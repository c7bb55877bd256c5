# Cross-compiling for 64-bit Windows with Debian's mingw-w64, tested under
# wine:
#   cmake -S . -B build/windows/build -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake
#
# The compilers are named with their "-posix" suffix: the "win32" flavour of
# GCC 12 has no std::thread or std::mutex, and installing it switches the
# unsuffixed x86_64-w64-mingw32-g++ to it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RDRCONF_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RDRCONF_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RDRCONF_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RDRCONF_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RDRCONF_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The mingw runtime (libgcc, libstdc++, winpthread) is linked statically
# into every program and the DLL, as a usage requirement of the targets that
# link rdrconf_options or sqliteprovider_options ("-static"), not as a
# global flag here.

# ctest runs the test programs, and gtest_discover_tests lists their cases,
# through wine.
find_program(RDRCONF_WINE NAMES wine wine64)
if(RDRCONF_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RDRCONF_WINE})
endif()
