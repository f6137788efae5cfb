# Faults from outside: the settings file under crashes, rival writers, a full disk and a read-only
# folder; Set Clock end to end against broken networks and servers on 127.0.0.1.
if(NOT WIN32)
    orvane_test(test_registry_faults SOURCES test_registry_faults.cpp LIBS orvane_config orvane_platform)
    orvane_test(test_network_faults SOURCES test_network_faults.cpp LIBS orvane_ui orvane_platform orvane_daytimed)
endif()
