# Cross-builds the Windows program with MinGW-w64 for x86_64; the tests run under Wine.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian's `wine` starts its 32-bit loader first whenever 32-bit Wine is installed, and on a kernel
# without 32-bit support that loader runs under emulation: seconds for every test program. The
# 64-bit loader runs the 64-bit programs directly.
if(EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
