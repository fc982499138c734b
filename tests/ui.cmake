# Test suites of the ui area.
quenlo_add_test(tst_form1 SOURCES tst_form1.cpp LIBS quenlo_ui)
target_compile_definitions(tst_form1 PRIVATE QUENLO_RESOURCES="${PROJECT_SOURCE_DIR}/resources")
quenlo_add_test(tst_informationcommands SOURCES tst_informationcommands.cpp LIBS quenlo_ui)
