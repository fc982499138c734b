# Benchmarks of the x11 area.
