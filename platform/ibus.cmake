# IBus engine (keyboard hook, composing and text commits), built when libibus is there. Its key mapping
# shares the X11 keysym tables, and its composing the X11 hook's.
if(IBUS_FOUND AND TARGET quenlo_platform_x11keys)
    add_library(quenlo_platform_ibus STATIC
        ibus/ibuskeyboardhook.cpp ibus/ibuskeyboardhook.h
        ibus/ibuskeydecisions.cpp ibus/ibuskeydecisions.h
        ibus/ibuskeymapping.cpp ibus/ibuskeymapping.h
    )
    target_link_libraries(quenlo_platform_ibus PUBLIC quenlo_platform_x11keys
                                               PRIVATE PkgConfig::IBUS quenlo_platform_xkbcompose quenlo_generated
                                                       quenlo_warnings)
    target_compile_definitions(quenlo_platform_ibus PUBLIC QUENLO_HAVE_IBUS)

    # The component file through which IBus lists the engine and starts the program when it is chosen.
    # IBus reads its own folder only, whatever the install prefix.
    set(QUENLO_IBUS_COMPONENT_DIR "/usr/share/ibus/component" CACHE PATH "Folder IBus reads engine components from")
    include(GNUInstallDirs)
    configure_file(ibus/quenlo.xml.in ${CMAKE_CURRENT_BINARY_DIR}/quenlo.xml @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quenlo.xml DESTINATION ${QUENLO_IBUS_COMPONENT_DIR})
endif()
