# The Linux window backend on Qt 6 (offscreen), message boxes, the wait cursor, the help engine, and
# the help file's parser.
if(WIN32)
    return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

orvane_test(test_help_file SOURCES test_help_file.cpp LIBS orvane_helpfile)
target_compile_definitions(test_help_file PRIVATE ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# orvane_qt_test(NAME sources... LIBS libs...): as orvane_test, for programs that open Qt windows.
# They run on Qt's offscreen platform, so no display is needed.
function(orvane_qt_test name)
    cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${arg_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${arg_LIBS} Qt6::Test Qt6::Widgets GTest::gtest GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING)
        # Under emulation each start of Qt costs seconds: CTest runs each program whole.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
            PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
endfunction()


orvane_qt_test(test_qt_windows SOURCES test_qt_windows.cpp LIBS orvane_platform_qt)
# The layout again at twice the scale, where the glyphs' widths round differently.
if(CMAKE_CROSSCOMPILING)
    add_test(NAME test_qt_windows.scale2 COMMAND test_qt_windows --gtest_filter=*Layout*)
    set_tests_properties(test_qt_windows.scale2 PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2")
else()
    gtest_discover_tests(test_qt_windows TEST_SUFFIX .scale2 TEST_FILTER "*Layout*" DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ENVIRONMENT_MODIFICATION "QT_SCALE_FACTOR=set:2")
endif()
orvane_qt_test(test_qt_message_box SOURCES test_qt_message_box.cpp LIBS orvane_platform_qt)
orvane_qt_test(test_qt_cursor SOURCES test_qt_cursor.cpp LIBS orvane_platform_qt)
orvane_qt_test(test_qt_help SOURCES test_qt_help.cpp LIBS orvane_platform_qt)
target_compile_definitions(test_qt_help PRIVATE ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# The whole program on Qt's offscreen platform, with a daytime server on 127.0.0.1.
orvane_qt_test(test_program_qt SOURCES test_program_qt.cpp
    LIBS orvane_ui orvane_platform_qt orvane_daytimed)

# The Linux program's start-up wiring: every real service installed, and taken away again.
orvane_qt_test(test_linux_services SOURCES test_linux_services.cpp LIBS orvane_platform_qt)
