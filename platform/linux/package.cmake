# The Debian package, orvane_1.0.4.0_amd64.deb, made by CPack from the install rules with prefix /usr:
#   cmake --build --preset linux --target orvane_deb
# Include it after the install rules of the program. Besides them it installs the manual page and the
# Debian copyright and changelog files; those go into `cmake --install`
# too, where they are harmless.
find_program(ORVANE_GZIP gzip REQUIRED)

set(package_source ${PROJECT_SOURCE_DIR}/packaging/linux)
set(package_build ${PROJECT_BINARY_DIR}/packaging)

# Debian wants manual pages and changelogs compressed with gzip -9n (no name, no time stamp, so that
# the bytes depend on the text alone). The version has no Debian revision, so the package is a
# native one and its changelog is changelog.gz, not changelog.Debian.gz.
set(gzipped)
foreach(pair "orvane.1;orvane.1.gz" "changelog;changelog.gz")
    list(GET pair 0 input)
    list(GET pair 1 output)
    add_custom_command(OUTPUT ${package_build}/${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${package_build}
        COMMAND ${ORVANE_GZIP} -9n -c ${package_source}/${input} > ${package_build}/${output}
        DEPENDS ${package_source}/${input}
        COMMENT "Compressing ${output}")
    list(APPEND gzipped ${package_build}/${output})
endforeach()
add_custom_target(orvane_package_files ALL DEPENDS ${gzipped})

install(FILES ${package_build}/orvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${package_source}/copyright ${package_build}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR Quintarro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian ships programs stripped; the symbols stay in the build tree (RelWithDebInfo).
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set the computer's clock from the NIST Internet Time Service")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quintarro <dev@orvane.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed from the libraries that the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The synopsis is the summary above; CPack indents this extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Orvane is a small desktop program with one window. Set Clock asks a NIST
time server for the current time over the daytime protocol (port 13), sets
the system clock in UTC and shows the new local time. Configure chooses one of
seven NIST servers or a URL of the user's own; the choice is kept per user.
.
Setting the clock needs a privilege: by default Orvane asks systemd-timedated,
and polkit asks for an administrator's password. An administrator can instead
give the program the cap_sys_time capability (see orvane(1)).]=])
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A cross build (cmake/aarch64-linux-gnu.cmake) names its architecture; dpkg-shlibdeps then reads the
# program with that architecture's objdump and looks up its libraries among that architecture's.
set(deb_host_env)
if(CMAKE_CROSSCOMPILING AND ORVANE_DEB_ARCHITECTURE)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ORVANE_DEB_ARCHITECTURE})
    set(deb_host_env DEB_HOST_ARCH=${ORVANE_DEB_ARCHITECTURE})
endif()
set(CPACK_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackConfig.cmake)
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
include(CPack)

# Only what the package holds is built, not the tests. ORVANE_PACKAGING tells install.cmake that
# this is a package being made: the package never gives the program the clock capability.
add_custom_target(orvane_deb
    COMMAND ${CMAKE_COMMAND} -E env ORVANE_PACKAGING=1 ${deb_host_env}
            ${CMAKE_CPACK_COMMAND} -G DEB --config ${CPACK_OUTPUT_CONFIG_FILE}
    DEPENDS orvane orvane_icons orvane_package_files
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Packing ${PROJECT_BINARY_DIR}/orvane_${PROJECT_VERSION}_<architecture>.deb"
    VERBATIM)
