# Optional install step that lets ordinary users set the clock by giving the installed program the
# CAP_SYS_TIME file capability. Include it after the rule that installs the orvane executable in
# ORVANE_PROGRAM_DIR (the capability goes on the file itself, not on the link in bin/):
# install(CODE) runs in the order the rules were made, and setcap needs the file in place.
include(GNUInstallDirs)

option(ORVANE_SETCAP "Give the installed orvane the right to set the clock (setcap cap_sys_time+ep)" OFF)

if(ORVANE_SETCAP)
    find_program(ORVANE_SETCAP_COMMAND setcap PATHS /usr/sbin /sbin REQUIRED)
    # The prefix and DESTDIR are read when installing, so that `cmake --install --prefix` and
    # staged installs are honoured. A failure stops the install: the option asked for the right,
    # and a program installed without it would only fail later, when the user presses Set Clock.
    # A package being made (ORVANE_PACKAGING, set by the target orvane_deb) gets no capability: the
    # package leaves the choice to the administrator.
    install(CODE "
      if(NOT DEFINED ENV{ORVANE_PACKAGING})
        set(orvane_program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ORVANE_PROGRAM_DIR}/$<TARGET_FILE_NAME:orvane>\")
        message(STATUS \"Giving \${orvane_program} the right to set the clock\")
        execute_process(COMMAND \"${ORVANE_SETCAP_COMMAND}\" cap_sys_time+ep \"\${orvane_program}\"
                        RESULT_VARIABLE orvane_setcap_result)
        if(NOT orvane_setcap_result EQUAL 0)
            message(FATAL_ERROR \"setcap cap_sys_time+ep failed for \${orvane_program}; it needs root (CAP_SETFCAP) and a file system with extended attributes\")
        endif()
      endif()
    ")
endif()
