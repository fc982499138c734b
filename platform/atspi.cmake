# Password fields told through the accessibility bus (AT-SPI over D-Bus), when Qt's D-Bus module is
# there; the X11 focus guard asks it.
find_package(Qt6 QUIET COMPONENTS DBus)
if(Qt6DBus_FOUND)
    add_library(quenlo_platform_atspi STATIC atspi/atspifieldwatch.cpp atspi/atspifieldwatch.h)
    target_link_libraries(quenlo_platform_atspi PUBLIC quenlo_platform_interfaces Qt6::DBus PRIVATE quenlo_warnings)
    target_compile_definitions(quenlo_platform_atspi PUBLIC QUENLO_HAVE_ATSPI)
    if(TARGET quenlo_platform_x11)
        target_link_libraries(quenlo_platform_x11 PRIVATE quenlo_platform_atspi)
    endif()
endif()
