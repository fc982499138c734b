# Benchmarks of the engine area.
quenlo_add_bench(bench_keystrokes SOURCES keystrokes.cpp LIBS quenlo_engine quenlo_wordsfile)
