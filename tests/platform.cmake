# Test suites of the platform backends.
quenlo_add_test(tst_sqliteconnection SOURCES tst_sqliteconnection.cpp LIBS quenlo_platform quenlo_wordsfile PkgConfig::SQLITE3)
quenlo_add_test(tst_qsettingsbackend SOURCES tst_qsettingsbackend.cpp LIBS quenlo_platform)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    quenlo_add_test(tst_xdgautostart SOURCES tst_xdgautostart.cpp LIBS quenlo_platform)
endif()
quenlo_add_test(tst_codepage SOURCES tst_codepage.cpp LIBS quenlo_platform)
