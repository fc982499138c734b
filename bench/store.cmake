# Benchmarks of the store area.
quenlo_add_bench(bench_store SOURCES bench_store.cpp LIBS quenlo_store quenlo_wordsfile)
