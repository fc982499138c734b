# Test suites of the ui area.
