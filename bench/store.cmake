# Benchmarks of the store area.
