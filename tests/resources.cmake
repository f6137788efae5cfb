# The program's resources and their Linux reader.
# Windows reads the resources with its own loader (tests/test_win32_platform.cpp).
if(NOT WIN32)
    orvane_test(test_resources SOURCES test_resources.cpp LIBS orvane_platform)
    target_compile_definitions(test_resources PRIVATE ORVANE_ICO_FILE="${PROJECT_SOURCE_DIR}/res/orvane.ico")
endif()
