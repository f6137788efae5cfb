# Tests of the Windows program. The cross build (presets mingw-*) makes them and runs them under Wine
# through scripts/wine-test.sh, which scripts/test.sh runs in stages of their own; a Linux build
# configured with ORVANE_WINE_TESTS on runs that script as one test instead.
if(WIN32)
    orvane_test(test_win32_platform SOURCES test_win32_platform.cpp LIBS orvane_platform ws2_32 iphlpapi)
    # The real dialogs, built from the real templates by the dialog manager, with the user's
    # answers given through messages.
    if(TARGET orvane_ui)
        orvane_test(test_win32_dialogs SOURCES test_win32_dialogs.cpp LIBS orvane_ui orvane_platform)
    endif()
    # The program itself, started as a user starts it, from a copy of bin/orvane.exe and its help file.
    if(TARGET orvane)
        orvane_test(test_win32_program SOURCES test_win32_program.cpp LIBS orvane_headers advapi32)
        add_dependencies(test_win32_program orvane)
    endif()
    return()
endif()

option(ORVANE_WINE_TESTS "Also build the Windows program with MinGW-w64 and run its tests under Wine" OFF)
if(ORVANE_WINE_TESTS)
    add_test(NAME wine_tests
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-test.sh --daytimed $<TARGET_FILE:orvane-daytimed>)
    # A cold cross build takes most of this on two cores; where the 32-bit Wine runs under emulation,
    # its first run also spends many minutes making the Wine prefix (kept for later runs).
    set_tests_properties(wine_tests PROPERTIES TIMEOUT 5400 LABELS wine RUN_SERIAL TRUE)
endif()
