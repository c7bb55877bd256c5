# Cross-compiling for arm64 Linux (Raspberry Pi OS 64-bit, Debian arm64)
# with Debian's aarch64-linux-gnu compilers, against a root of Debian's
# arm64 libraries (scripts/arm64-root makes one), tested under qemu-user:
#   cmake -S . -B build/arm64/build -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake \
#     -DRDRCONF_ARM64_ROOT=build/arm64/root
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(RDRCONF_ARM64_ROOT "" CACHE PATH "Root of the arm64 libraries and headers to build against")
if(NOT RDRCONF_ARM64_ROOT)
  message(FATAL_ERROR "Set RDRCONF_ARM64_ROOT to an arm64 root (scripts/arm64-root makes one)")
endif()
get_filename_component(RDRCONF_ARM64_ROOT "${RDRCONF_ARM64_ROOT}" ABSOLUTE)
# try_compile projects see only the variables named here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RDRCONF_ARM64_ROOT)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_SYSROOT ${RDRCONF_ARM64_ROOT})

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the root's .pc files and prefixes their paths with it.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${RDRCONF_ARM64_ROOT})
set(ENV{PKG_CONFIG_LIBDIR}
  "${RDRCONF_ARM64_ROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${RDRCONF_ARM64_ROOT}/usr/share/pkgconfig")

# Qt's code generators (moc, rcc, uic) are the machine's own amd64 ones.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# ctest runs the test programs, and gtest_discover_tests lists their cases,
# through qemu-user, which finds the arm64 loader and libraries in the root;
# the root's Qt finds its plugins (the offscreen platform) there too.
find_program(RDRCONF_QEMU_AARCH64 qemu-aarch64-static)
if(RDRCONF_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RDRCONF_QEMU_AARCH64} -L ${RDRCONF_ARM64_ROOT}
    -E QT_PLUGIN_PATH=${RDRCONF_ARM64_ROOT}/usr/lib/aarch64-linux-gnu/qt6/plugins)
endif()
