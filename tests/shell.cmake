# Test suites of the shell area.
quenlo_add_test(tst_persistedoptions SOURCES tst_persistedoptions.cpp LIBS quenlo_shell)
