# Test suites of the IBus engine (label ibus).
if(IBUS_FOUND AND X11LIBS_FOUND)
    quenlo_add_test(tst_ibuskeydecisions SOURCES ibus/tst_ibuskeydecisions.cpp LIBS quenlo_platform_ibus LABELS ibus)
endif()

# End to end: the real quenlo as the engine of a private ibus-daemon, completing in GTK and Qt fields.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3 AND QUENLO_DBUS_RUN_SESSION)
    add_test(NAME e2e_ibus
             COMMAND ${QUENLO_DBUS_RUN_SESSION} -- ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_ibus.py
                     ${quenlo_e2e_programs})
    set_tests_properties(e2e_ibus PROPERTIES LABELS ibus TIMEOUT 300 RESOURCE_LOCK accessibility_bus)
endif()

# End to end on headless Wayland desktops as an unprivileged user, native Wayland GTK and Qt fields: sway
# (keys from wtype), KWin (IBus started by KWin as its input method, keys from its fake input) and GNOME
# (IBus started as systemd does and the engine chosen among GNOME's input sources, keys from mutter's
# virtual keyboard). Each starts its own session bus. KWin and GNOME run alone; GNOME, a whole desktop
# shell, also by itself as label gnome.
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3)
    foreach(desktop sway kwin gnome)
        add_test(NAME e2e_${desktop}
                 COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_desktop.py --desktop ${desktop}
                         ${quenlo_e2e_programs})
        set_tests_properties(e2e_${desktop} PROPERTIES LABELS ibus TIMEOUT 300)
    endforeach()
    set_tests_properties(e2e_kwin e2e_gnome PROPERTIES RUN_SERIAL TRUE)
    set_tests_properties(e2e_gnome PROPERTIES LABELS "ibus;gnome")
endif()
