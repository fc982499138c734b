# Test suites of the ui area.
quenlo_add_test(tst_form1 SOURCES tst_form1.cpp LIBS quenlo_ui)
# The documents the window's menu is checked against; under Wine the build machine's files are on Z:.
if(WIN32)
    set(quenlo_resources_seen "Z:${PROJECT_SOURCE_DIR}/resources")
else()
    set(quenlo_resources_seen "${PROJECT_SOURCE_DIR}/resources")
endif()
target_compile_definitions(tst_form1 PRIVATE QUENLO_RESOURCES="${quenlo_resources_seen}")
