# Test suites of the shell area.
