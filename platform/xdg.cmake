# freedesktop.org desktop integration: the session autostart entry.
if(UNIX AND NOT APPLE)
    target_sources(quenlo_platform PRIVATE xdg/xdgautostart.cpp xdg/xdgautostart.h)
    target_compile_definitions(quenlo_platform PRIVATE QUENLO_HAVE_XDG)
endif()
