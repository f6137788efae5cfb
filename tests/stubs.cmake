# Platform services that abort when a test forgets to install a double. Each lives in its own object,
# so a test may link the real platform layer first and take only the rest from here.
file(GLOB stub_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/stubs/*.cpp)
add_library(orvane_stubs STATIC ${stub_sources})
target_include_directories(orvane_stubs PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvane_stubs PUBLIC orvane_headers)
