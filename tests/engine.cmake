# Test suites of the engine area.
