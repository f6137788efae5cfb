# Tests of URL access: failure texts over doubles; the Linux Internet layer's rules; and the session
# and its streams over the real Internet library against a daytime server started by the test.
orvane_test(test_internet_failure SOURCES test_internet_failure.cpp LIBS orvane_net)
if(NOT WIN32)
    orvane_test(test_linux_internet SOURCES test_linux_internet.cpp LIBS orvane_platform)
    orvane_test(test_url_access SOURCES test_url_access.cpp LIBS orvane_net orvane_platform orvane_daytimed)
endif()
