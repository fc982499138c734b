# X11: the keyboard hook, keystroke injection, clipboard, focus guard and window activation, built when
# the X client libraries are there.
if(X11LIBS_FOUND)
    # Keysyms to virtual keys: X headers only, shared with the IBus engine, whose keyvals are keysyms.
    add_library(quenlo_platform_x11keys STATIC x11/x11keymapping.cpp x11/x11keymapping.h)
    target_include_directories(quenlo_platform_x11keys
        PRIVATE $<TARGET_PROPERTY:PkgConfig::X11LIBS,INTERFACE_INCLUDE_DIRECTORIES>)
    target_link_libraries(quenlo_platform_x11keys PUBLIC quenlo_platform_interfaces PRIVATE quenlo_warnings)

    add_library(quenlo_platform_x11 STATIC
        x11/x11clipboard.cpp x11/x11clipboard.h
        x11/x11display.cpp x11/x11display.h
        x11/x11focusguard.cpp x11/x11focusguard.h
        x11/x11keyboardhook.cpp x11/x11keyboardhook.h
        x11/x11keyinjector.cpp x11/x11keyinjector.h
        x11/x11presspairing.cpp x11/x11presspairing.h
        x11/x11windowactivation.cpp
    )
    target_link_libraries(quenlo_platform_x11 PUBLIC quenlo_platform_x11keys
                                              PRIVATE PkgConfig::X11LIBS quenlo_platform_xkbcompose quenlo_warnings)
    target_compile_definitions(quenlo_platform_x11 PUBLIC QUENLO_HAVE_X11)
endif()
