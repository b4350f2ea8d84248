# Cross build for the recorder's 32-bit ARM (armhf) with Debian's
# g++-arm-linux-gnueabihf against the armhf multiarch packages
# (libjson-c-dev:armhf, libsqlite3-dev:armhf, libgtest-dev:armhf), which live
# in /usr/lib/arm-linux-gnueabihf. deploy/install-arm-deps.sh installs them.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake
#
# Test programs run under qemu-user; ctest prefixes every test command with
# CMAKE_CROSSCOMPILING_EMULATOR (and gtest discovery runs through it too).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(NVR_ARM_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${NVR_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${NVR_ARM_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${NVR_ARM_TRIPLET})

# Multiarch: the armhf libraries sit beside the host's under /usr, so there
# is no separate sysroot to re-root searches into. Libraries, headers and
# CMake packages are looked up in the armhf multiarch directories
# (CMAKE_LIBRARY_ARCHITECTURE); build tools come from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)

# pkg-config must see only the armhf .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${NVR_ARM_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

# ARM programs run under qemu-user with the multiarch armhf runtime of the
# host itself (libc6:armhf, libstdc++6:armhf: loader /lib/ld-linux-armhf.so.3,
# libraries in /lib/arm-linux-gnueabihf), so the interpreter prefix is "/".
# The cross compiler's own copy under /usr/arm-linux-gnueabihf is a different
# build of glibc than the armhf json-c and SQLite are loaded with; taking the
# loader from there and libc from the multiarch directory would mix the two.
# An absolute path: the end-to-end harness execs these words without a PATH
# search.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-arm -L /)
