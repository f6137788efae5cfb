# Cross-builds the Linux program for 64-bit ARM with Debian's cross compiler and the arm64 libraries
# of multiarch (qt6-base-dev:arm64, ...); Qt's moc and rcc are the build machine's own. qemu-aarch64
# runs what the build starts (the icon export) and what CTest starts (scripts/arm64-test.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The arm64 libraries live in the machine's own folders, beside the amd64 ones, so the root path is
# /, and the multiarch folder of the architecture picks the libraries.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# dpkg's name of the architecture, for the package's name and its dependencies.
set(ORVANE_DEB_ARCHITECTURE arm64)

find_program(ORVANE_QEMU_AARCH64 qemu-aarch64-static DOC "Debian: qemu-user-static")
if(ORVANE_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANE_QEMU_AARCH64})
endif()
