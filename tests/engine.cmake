# Test suites of the engine area.
quenlo_add_test(tst_completionengine SOURCES tst_completionengine.cpp LIBS quenlo_engine quenlo_wordsfile)
quenlo_add_test(tst_ranking SOURCES tst_ranking.cpp LIBS quenlo_engine quenlo_wordsfile PkgConfig::SQLITE3)
# Its own executable: it replaces the global operator new to count allocations on the key path.
quenlo_add_test(tst_completionpause SOURCES tst_completionpause.cpp LIBS quenlo_engine quenlo_wordsfile)
