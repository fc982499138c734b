# Windows keyboard hook, keystroke injection, clipboard, focus guard, ANSI code page, session start,
# windows that never take the focus and one running program per session, built for Windows only.
if(WIN32)
    add_library(quenlo_platform_win32 STATIC
        win32/win32clipboard.cpp win32/win32clipboard.h
        win32/win32codepage.cpp win32/win32codepage.h
        win32/win32focusguard.cpp win32/win32focusguard.h
        win32/win32keyboardhook.cpp win32/win32keyboardhook.h
        win32/win32keyinjector.cpp win32/win32keyinjector.h
        win32/win32keytags.h
        win32/win32messagewindow.h
        win32/win32nonactivatingwindow.cpp
        win32/win32pastegate.cpp win32/win32pastegate.h
        win32/win32runautostart.cpp win32/win32runautostart.h
        win32/win32singleinstance.cpp
        win32/win32typedtext.cpp win32/win32typedtext.h
    )
    target_link_libraries(quenlo_platform_win32 PUBLIC quenlo_platform_interfaces
                                                PRIVATE user32 gdi32 advapi32 quenlo_warnings)
    target_compile_definitions(quenlo_platform_win32 PUBLIC QUENLO_HAVE_WIN32
                                                     PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
endif()
