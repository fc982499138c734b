# Test suites of the IBus engine (label ibus).
if(IBUS_FOUND AND X11LIBS_FOUND)
    quenlo_add_test(tst_ibuskeydecisions SOURCES ibus/tst_ibuskeydecisions.cpp LIBS quenlo_platform_ibus LABELS ibus)
endif()

# End to end: the real quenlo as the engine of a private ibus-daemon, completing in GTK and Qt fields.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3 AND QUENLO_DBUS_RUN_SESSION)
    add_test(NAME e2e_ibus
             COMMAND ${QUENLO_DBUS_RUN_SESSION} -- ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_ibus.py
                     ${quenlo_e2e_programs})
    set_tests_properties(e2e_ibus PROPERTIES LABELS ibus TIMEOUT 300)
endif()

# End to end on a headless sway as an unprivileged user: native Wayland GTK and Qt fields, keys from
# wtype. It starts its own session bus.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3)
    add_test(NAME e2e_sway
             COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_sway.py ${quenlo_e2e_programs})
    set_tests_properties(e2e_sway PROPERTIES LABELS ibus TIMEOUT 300)
endif()

# End to end on a headless GNOME as an unprivileged user: GNOME selects the engine from its input sources
# and IBus starts the program; native Wayland GTK and Qt fields, keys from mutter's virtual keyboard.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3)
    add_test(NAME e2e_gnome
             COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_gnome.py ${quenlo_e2e_programs})
    # A whole desktop shell, run alone (label gnome to run it by itself).
    set_tests_properties(e2e_gnome PROPERTIES LABELS "ibus;gnome" TIMEOUT 300 RUN_SERIAL TRUE)
endif()

# End to end on a headless KWin as an unprivileged user: KWin starts IBus as its input method and IBus the
# program; native Wayland GTK and Qt fields through text-input, keys from KWin's fake input.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3)
    add_test(NAME e2e_kwin
             COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_kwin.py ${quenlo_e2e_programs})
    set_tests_properties(e2e_kwin PROPERTIES LABELS ibus TIMEOUT 300 RUN_SERIAL TRUE)
endif()
