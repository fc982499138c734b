# Test suites of the ui area.
quenlo_add_test(tst_form1 SOURCES tst_form1.cpp LIBS quenlo_ui)
quenlo_add_test(tst_informationcommands SOURCES tst_informationcommands.cpp LIBS quenlo_ui)
