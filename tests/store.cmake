# Test suites of the store area.
