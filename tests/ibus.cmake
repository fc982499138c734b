# Test suites of the IBus engine (label ibus).
if(IBUS_FOUND AND X11LIBS_FOUND)
    quenlo_add_test(tst_ibuskeymapping SOURCES ibus/tst_ibuskeymapping.cpp LIBS quenlo_platform LABELS ibus)
    quenlo_add_test(tst_ibuskeydecisions SOURCES ibus/tst_ibuskeydecisions.cpp LIBS quenlo_platform LABELS ibus)
endif()

# End to end: the real quenlo as the engine of a private ibus-daemon, completing in GTK, Qt and zenity.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3)
    find_program(QUENLO_DBUS_RUN_SESSION dbus-run-session)
    if(QUENLO_DBUS_RUN_SESSION)
        add_test(NAME e2e_ibus
                 COMMAND ${QUENLO_DBUS_RUN_SESSION} -- ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_ibus.py
                         --quenlo $<TARGET_FILE:quenlo> --qtfield $<TARGET_FILE:quenlo_e2e_qtfield>)
        set_tests_properties(e2e_ibus PROPERTIES LABELS ibus TIMEOUT 300)
    endif()
endif()
