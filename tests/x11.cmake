# Test suites of the x11 area; the backends themselves on a private Xvfb server that each test starts.
if(X11LIBS_FOUND)
    # The swallow rule and the key translators of every backend built here, the compose table too.
    quenlo_add_test(tst_keymapping SOURCES tst_keymapping.cpp
                    LIBS quenlo_platform_x11 quenlo_platform_xkbcompose $<TARGET_NAME_IF_EXISTS:quenlo_platform_ibus>)
    quenlo_add_test(tst_x11presspairing SOURCES x11/tst_x11presspairing.cpp LIBS quenlo_platform_x11)
    foreach(suite tst_x11keyboardhook tst_x11focusguard)
        quenlo_add_test(${suite} SOURCES x11/${suite}.cpp x11/xvfbserver.h
                        LIBS quenlo_backends PkgConfig::X11LIBS LABELS x11)
    endforeach()
endif()

# End to end: the real quenlo under Xvfb against xterm, a GTK and a Qt text field (label e2e).
if(X11LIBS_FOUND)
    add_executable(quenlo_e2e_qtfield e2e/qtfield.cpp)
    target_link_libraries(quenlo_e2e_qtfield PRIVATE Qt6::Widgets quenlo_warnings)
    # Debian's own interpreter: the GTK field needs its python3-gi.
    find_program(QUENLO_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
    find_program(QUENLO_DBUS_RUN_SESSION dbus-run-session)
endif()
if(X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3)
    set(quenlo_e2e_programs --quenlo $<TARGET_FILE:quenlo> --qtfield $<TARGET_FILE:quenlo_e2e_qtfield>)
    # The scenarios, in German and Russian layouts and with the compose key too, and the hook under faults.
    add_test(NAME e2e_completion
             COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_completion.py ${quenlo_e2e_programs})
    set_tests_properties(e2e_completion PROPERTIES LABELS e2e TIMEOUT 300)
    # A completion leaves every target of CLIPBOARD and PRIMARY as it was, and history tools skip it.
    add_test(NAME e2e_clipboard
             COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_clipboard.py --quenlo $<TARGET_FILE:quenlo>)
    # Run alone: reading the large image it offers must fit in the bound a completion allows.
    set_tests_properties(e2e_clipboard PROPERTIES LABELS e2e TIMEOUT 300 RUN_SERIAL TRUE)
    # No suggestions, no word kept, in password fields, under a held keyboard and in excluded
    # applications; nothing written holds a password, nothing on the accessibility bus a typed letter
    # (labels privacy and a11y). On a private session bus: without DISPLAY its accessibility bus
    # launcher leaves the user's desktop alone.
    if(QUENLO_DBUS_RUN_SESSION)
        add_test(NAME e2e_privacy
                 COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=AT_SPI_BUS_ADDRESS
                         ${QUENLO_DBUS_RUN_SESSION} -- ${QUENLO_SYSTEM_PYTHON3}
                         ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_privacy.py ${quenlo_e2e_programs})
        # Run beside the IBus suite, whichever starts second loses its accessibility bus or its fields'
        # answers on it: the two never run at once.
        set_tests_properties(e2e_privacy PROPERTIES LABELS "e2e;privacy;a11y" TIMEOUT 300
                                                    RESOURCE_LOCK accessibility_bus)
    endif()
endif()
