# freedesktop.org desktop integration: the session autostart entry.
if(UNIX AND NOT APPLE)
    add_library(quenlo_platform_xdg STATIC xdg/xdgautostart.cpp xdg/xdgautostart.h)
    target_link_libraries(quenlo_platform_xdg PUBLIC quenlo_platform_interfaces PRIVATE quenlo_warnings)
    target_compile_definitions(quenlo_platform_xdg PUBLIC QUENLO_HAVE_XDG)
endif()
