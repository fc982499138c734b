# Test suites of the platform backends.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    quenlo_add_test(tst_xdgautostart SOURCES tst_xdgautostart.cpp LIBS quenlo_platform_xdg)
endif()
quenlo_add_test(tst_singleinstance SOURCES tst_singleinstance.cpp LIBS quenlo_platform)
