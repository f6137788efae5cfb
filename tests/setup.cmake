# The set-up script itself (scripts/deps.sh), run against fake apt tools: no network, no root; and
# the test command's stage table (scripts/test.sh), over stand-ins for its stage scripts and ccache.
if(NOT WIN32)
    add_test(NAME deps_script COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/setup/test_deps.sh ${PROJECT_SOURCE_DIR}/scripts/deps.sh)
    add_test(NAME stage_table COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/setup/test_stages.sh ${PROJECT_SOURCE_DIR}/scripts/test.sh)
endif()
