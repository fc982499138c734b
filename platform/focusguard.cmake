# Focus guards: which application has the focus, held keyboards, and password fields told through
# the accessibility bus (AT-SPI over D-Bus, when Qt's D-Bus module is there).
find_package(Qt6 QUIET COMPONENTS DBus)
if(Qt6DBus_FOUND)
    target_sources(quenlo_platform PRIVATE atspi/atspifieldwatch.cpp atspi/atspifieldwatch.h)
    target_link_libraries(quenlo_platform PRIVATE Qt6::DBus)
    target_compile_definitions(quenlo_platform PRIVATE QUENLO_HAVE_ATSPI)
endif()
if(X11LIBS_FOUND)
    target_sources(quenlo_platform PRIVATE x11/x11focusguard.cpp x11/x11focusguard.h)
endif()
