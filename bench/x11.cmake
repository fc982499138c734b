# Benchmarks of the x11 area.
if(X11LIBS_FOUND)
    # Through the real hook: the real quenlo on a private Xvfb, keys sent with XTest.
    quenlo_add_bench(bench_popuplatency SOURCES popuplatency.cpp LIBS quenlo_wordsfile Qt6::Widgets PkgConfig::X11LIBS)
    target_compile_definitions(bench_popuplatency PRIVATE QUENLO_PROGRAM_PATH="$<TARGET_FILE:quenlo>")
    add_dependencies(bench_popuplatency quenlo)
    # Start-up of the real quenlo on a private Xvfb, to its main window mapped.
    quenlo_add_bench(bench_startup SOURCES startup.cpp LIBS quenlo_wordsfile PkgConfig::X11LIBS)
    target_compile_definitions(bench_startup PRIVATE QUENLO_PROGRAM_PATH="$<TARGET_FILE:quenlo>")
    add_dependencies(bench_startup quenlo)
endif()
