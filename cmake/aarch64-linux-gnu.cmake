# Cross build for arm64 on a Debian 12 amd64 machine, with the libraries of
# `scripts/setup arm64` (Debian multiarch, installed beside the native ones):
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# The programs it makes run here under qemu-user, which CTest uses by itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The multiarch root is "/": libraries and their CMake packages under
# lib/aarch64-linux-gnu, architecture-free headers shared with the native build.
# Programs found at configure time (moc, python3, objdump by name) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_OBJDUMP /usr/bin/aarch64-linux-gnu-objdump CACHE FILEPATH "objdump for arm64 code")

# pkg-config knows no cross wrapper here: point it at the arm64 .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# libpq-dev is not multiarch: the native package gives the headers, libpq5:arm64 the library.
set(PostgreSQL_LIBRARY /usr/lib/aarch64-linux-gnu/libpq.so.5 CACHE FILEPATH "arm64 libpq")

# Test programs, gtest_discover_tests included, run through the emulator. Without -L the
# programs load libc6:arm64 and the other multiarch libraries they were linked against;
# `-L /usr/aarch64-linux-gnu` would mix in the cross toolchain's own copies, and then the
# first thread a program starts never runs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

# Packages name their architecture as dpkg does, not as the build machine's dpkg says.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
