# Benchmarks of the IBus engine: the real quenlo as the engine of a private ibus-daemon on a private Xvfb.
if(IBUS_FOUND AND X11LIBS_FOUND)
    quenlo_add_bench(bench_ibuslatency SOURCES ibuslatency.cpp LIBS quenlo_wordsfile PkgConfig::X11LIBS PkgConfig::IBUS)
    target_compile_definitions(bench_ibuslatency PRIVATE QUENLO_PROGRAM_PATH="$<TARGET_FILE:quenlo>")
    add_dependencies(bench_ibuslatency quenlo)
endif()

# On a headless GNOME, in the GNOME end-to-end suite's session: key -> text in a native Wayland field
# through the shell's input method. On demand: cmake --build BUILD --target bench_gnomelatency
if(IBUS_FOUND AND X11LIBS_FOUND AND QUENLO_SYSTEM_PYTHON3 AND TARGET quenlo_e2e_qtfield)
    add_custom_target(bench_gnomelatency
        COMMAND ${QUENLO_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/gnomelatency.py --quenlo $<TARGET_FILE:quenlo>
                --qtfield $<TARGET_FILE:quenlo_e2e_qtfield> --rounds 200
        DEPENDS quenlo quenlo_e2e_qtfield
        USES_TERMINAL VERBATIM)
endif()
