# Test suites of the store area.
quenlo_add_test(tst_wordlistmodel SOURCES tst_wordlistmodel.cpp LIBS quenlo_store)
quenlo_add_test(tst_wordlistview SOURCES tst_wordlistview.cpp LIBS quenlo_store quenlo_wordsfile)
