# Test suites of the store area.
quenlo_add_test(tst_wordlistview SOURCES tst_wordlistview.cpp LIBS quenlo_engine quenlo_wordsfile)
quenlo_add_test(tst_wordlistfiles SOURCES tst_wordlistfiles.cpp LIBS quenlo_store)
quenlo_add_test(tst_sqliteconnection SOURCES tst_sqliteconnection.cpp LIBS quenlo_store quenlo_wordsfile PkgConfig::SQLITE3)
quenlo_add_test(tst_defaultwordlists SOURCES tst_defaultwordlists.cpp LIBS quenlo_store quenlo_wordsfile)
target_compile_definitions(tst_defaultwordlists PRIVATE QUENLO_MAKEWORDSDB="$<TARGET_FILE:quenlo_makewordsdb>")
add_dependencies(tst_defaultwordlists quenlo_makewordsdb quenlo_words)
quenlo_add_test(tst_codepage SOURCES tst_codepage.cpp LIBS quenlo_store)
quenlo_add_test(tst_linereader SOURCES tst_linereader.cpp LIBS quenlo_store)
