# The program's resources and their Linux reader.
orvane_test(test_resources SOURCES test_resources.cpp LIBS orvane_platform)
