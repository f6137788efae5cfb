orvane_test(test_framework SOURCES test_framework.cpp LIBS orvane_ui orvane_platform)
