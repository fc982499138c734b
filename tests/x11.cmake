# Test suites of the x11 area.
if(X11LIBS_FOUND)
    quenlo_add_test(tst_x11keymapping SOURCES x11/tst_x11keymapping.cpp LIBS quenlo_platform)
    quenlo_add_test(tst_x11presspairing SOURCES x11/tst_x11presspairing.cpp LIBS quenlo_platform)
    # The backends themselves, on a private Xvfb server that the test starts.
    quenlo_add_test(tst_x11keyboardhook SOURCES x11/tst_x11keyboardhook.cpp x11/xvfbserver.h
                    LIBS quenlo_platform PkgConfig::X11LIBS LABELS x11)
endif()
