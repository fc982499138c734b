# Test suites of the x11 area.
