# Tests of the Linux clock and local-time layers; the timedated tests start a private D-Bus daemon.
if(NOT WIN32)
    # orvane_base (LoadResourceString) and orvane_platform (IResources::Native) need each other, so
    # the linker must go over both until nothing more resolves.
    set(clock_libs "$<LINK_GROUP:RESCAN,orvane_platform,orvane_base>")
    orvane_test(test_linux_clock SOURCES test_linux_clock.cpp LIBS ${clock_libs})
    orvane_test(test_linux_localtime SOURCES test_linux_localtime.cpp LIBS ${clock_libs})
    orvane_test(test_timedated SOURCES test_timedated.cpp LIBS ${clock_libs})
endif()
