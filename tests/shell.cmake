# Test suites of the shell area.
quenlo_add_test(tst_persistedoptions SOURCES tst_persistedoptions.cpp LIBS quenlo_shell)
quenlo_add_test(tst_windowtray SOURCES tst_windowtray.cpp LIBS quenlo_shell)
quenlo_add_test(tst_quenloprogram SOURCES tst_quenloprogram.cpp LIBS quenlo_shell quenlo_wordsfile)
quenlo_add_test(tst_privacyguard SOURCES tst_privacyguard.cpp LIBS quenlo_shell quenlo_wordsfile)
quenlo_add_test(tst_worddatabaseplace SOURCES tst_worddatabaseplace.cpp LIBS quenlo_shell)
