# X11 keyboard hook and keystroke injection, built when the X client libraries are there.
if(X11LIBS_FOUND)
    target_sources(quenlo_platform PRIVATE
        x11/x11clipboard.cpp x11/x11clipboard.h
        x11/x11display.cpp x11/x11display.h
        x11/x11keyboardhook.cpp x11/x11keyboardhook.h
        x11/x11keyinjector.cpp x11/x11keyinjector.h
        x11/x11keymapping.cpp x11/x11keymapping.h
        x11/x11presspairing.cpp x11/x11presspairing.h
    )
    target_link_libraries(quenlo_platform PRIVATE PkgConfig::X11LIBS)
    target_compile_definitions(quenlo_platform PRIVATE QUENLO_HAVE_X11)
endif()
