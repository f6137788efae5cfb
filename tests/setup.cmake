# The set-up script itself (scripts/deps.sh), run against fake apt tools: no network, no root.
if(NOT WIN32)
    add_test(NAME deps_script COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/setup/test_deps.sh ${PROJECT_SOURCE_DIR}/scripts/deps.sh)
endif()
