# Benchmarks of the engine area.
