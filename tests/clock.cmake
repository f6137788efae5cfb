# Tests of the Linux clock and local-time layers; the timedated tests start a private D-Bus daemon.
if(NOT WIN32)
    orvane_test(test_linux_clock SOURCES test_linux_clock.cpp LIBS orvane_platform)
    orvane_test(test_linux_localtime SOURCES test_linux_localtime.cpp LIBS orvane_platform)
    orvane_test(test_timedated SOURCES test_timedated.cpp LIBS orvane_platform)
endif()
