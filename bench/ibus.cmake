# Benchmarks of the IBus engine: the real quenlo as the engine of a private ibus-daemon on a private Xvfb.
if(IBUS_FOUND AND X11LIBS_FOUND)
    quenlo_add_bench(bench_ibuslatency SOURCES ibuslatency.cpp LIBS quenlo_wordsfile PkgConfig::X11LIBS PkgConfig::IBUS)
    target_compile_definitions(bench_ibuslatency PRIVATE QUENLO_PROGRAM_PATH="$<TARGET_FILE:quenlo>")
    add_dependencies(bench_ibuslatency quenlo)
endif()
