# Tests of the settings: the store and the server list over doubles, and the store and the Linux
# registry file over a real file in a temporary folder.
orvane_test(test_server_list SOURCES test_server_list.cpp LIBS orvane_config)
if(NOT WIN32)
    orvane_test(test_settings_store SOURCES test_settings_store.cpp LIBS orvane_config orvane_platform)
    orvane_test(test_registry_text SOURCES test_registry_text.cpp LIBS orvane_platform)
    orvane_test(test_registry_file SOURCES test_registry_file.cpp LIBS orvane_platform)
endif()
