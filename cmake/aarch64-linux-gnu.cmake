# Cross-builds orvalis for 64-bit ARM Linux (Debian arm64, Raspberry Pi OS)
# with Debian's cross compilers, and runs the test programs under QEMU.
# The preset arm64 names this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The :arm64 libraries that dpkg installs beside this machine's own, in
# /usr/lib/aarch64-linux-gnu, which CMake searches by this name. pkg-config
# (which finds GLUT) would hand out the machine's own libraries instead, which
# the ARM linker refuses; it is pointed at the arm64 ones, the shared ones, and
# Magick++'s that scripts/arm64 unpacks into build/arm64-deps.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} "${CMAKE_CURRENT_LIST_DIR}/../build/arm64-deps/usr/lib/aarch64-linux-gnu/\
pkgconfig:/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# Test programs run under QEMU's user-mode emulator. It takes the arm64 C
# library and the rest from the same multiarch folders, where the ARM
# program's loader looks as it would on an ARM machine.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
