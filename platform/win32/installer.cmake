# The Windows installer, made with NSIS from packaging/windows/orvane.nsi:
#   cmake --build --preset mingw-x86_64 --target orvane_setup   -> orvane-1.0.4.0-win64-setup.exe
#   cmake --build --preset mingw-i686 --target orvane_setup     -> orvane-1.0.4.0-win32-setup.exe
# Include it after the orvane target is made. Without makensis (Debian: nsis) there is no target.
find_program(ORVANE_MAKENSIS makensis DOC "NSIS compiler (Debian: nsis)")
if(NOT ORVANE_MAKENSIS)
    message(STATUS "makensis not found: no target orvane_setup (Debian: apt-get install nsis)")
    return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(installer_arch win64)
else()
    set(installer_arch win32)
endif()
set(installer ${PROJECT_BINARY_DIR}/orvane-${PROJECT_VERSION}-${installer_arch}-setup.exe)
set(installer_script ${PROJECT_SOURCE_DIR}/packaging/windows/orvane.nsi)

# The installer carries the program's own version record: its texts are read from res/orvane.rc.
# The record names no copyright holder, so LegalCopyright names the publisher, as the Debian
# package's copyright file does.
set(version_keys)
file(STRINGS ${PROJECT_SOURCE_DIR}/res/orvane.rc version_values REGEX "^[ \t]*VALUE[ \t]+\"[A-Za-z]+\",[ \t]*\"")
set(VI_LegalCopyright "Copyright (C) 2026 Quintarro")
foreach(line IN LISTS version_values)
    string(REGEX REPLACE "^[ \t]*VALUE[ \t]+\"([A-Za-z]+)\",[ \t]*\"([^\"]*)\".*" "\\1;\\2" pair "${line}")
    list(GET pair 0 key)
    list(GET pair 1 value)
    set(VI_${key} "${value}")
endforeach()
foreach(key ProductName CompanyName FileDescription FileVersion ProductVersion LegalCopyright)
    if(NOT DEFINED VI_${key})
        message(FATAL_ERROR "res/orvane.rc has no version text ${key}")
    endif()
    list(APPEND version_keys "-DVI_${key}=${VI_${key}}")
endforeach()

add_custom_command(OUTPUT ${installer}
    COMMAND ${ORVANE_MAKENSIS} -V2 -WX -NOCD
            -DARCH=${installer_arch} -DVERSION=${PROJECT_VERSION}
            -DBINDIR=$<TARGET_FILE_DIR:orvane> -DICON=${PROJECT_SOURCE_DIR}/res/orvane.ico
            -DOUTFILE=${installer} ${version_keys}
            ${installer_script}
    DEPENDS orvane ${installer_script} ${PROJECT_SOURCE_DIR}/res/orvane.hlp ${PROJECT_SOURCE_DIR}/res/orvane.ico
            ${PROJECT_SOURCE_DIR}/res/orvane.rc
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Packing ${installer}"
    VERBATIM)
add_custom_target(orvane_setup DEPENDS ${installer})
