# Test suites of the shell area.
quenlo_add_test(tst_persistedoptions SOURCES tst_persistedoptions.cpp LIBS quenlo_shell)
quenlo_add_test(tst_quenloprogram SOURCES tst_quenloprogram.cpp LIBS quenlo_shell quenlo_wordsfile)
# The command line of the real program, run as a process (a Windows GUI program's output reaches no
# console, so there it is not checked).
if(NOT WIN32)
    quenlo_add_test(tst_commandline SOURCES tst_commandline.cpp LIBS quenlo_generated)
    target_compile_definitions(tst_commandline PRIVATE QUENLO_PROGRAM="$<TARGET_FILE:quenlo>")
    add_dependencies(tst_commandline quenlo)
endif()
