# Test suites of the store area.
quenlo_add_test(tst_wordlistmodel SOURCES tst_wordlistmodel.cpp LIBS quenlo_store)
quenlo_add_test(tst_wordlistview SOURCES tst_wordlistview.cpp LIBS quenlo_store quenlo_wordsfile)
quenlo_add_test(tst_wordlistfiles SOURCES tst_wordlistfiles.cpp LIBS quenlo_store)
quenlo_add_test(tst_linereader SOURCES tst_linereader.cpp LIBS quenlo_store)
quenlo_add_test(tst_makewordsdb SOURCES tst_makewordsdb.cpp LIBS quenlo_store)
target_compile_definitions(tst_makewordsdb PRIVATE QUENLO_MAKEWORDSDB="$<TARGET_FILE:quenlo_makewordsdb>")
add_dependencies(tst_makewordsdb quenlo_makewordsdb quenlo_words)
