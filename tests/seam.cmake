# The seam: a service that nobody installed stops the program with its name. The death tests fork,
# so they run on Linux only; the seam's code is the same on every platform.
if(NOT WIN32)
    orvane_test(test_seam SOURCES test_seam.cpp LIBS orvane_sync)
endif()
