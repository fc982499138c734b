# The Debian package itself (label package): built, unpacked, checked and run as a normal user.
# Left out of the sanitizer build: its programs cannot be packaged and run like shipped ones.
find_program(QUENLO_SYSTEM_PYTHON3_PACKAGE python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT QUENLO_SANITIZE AND QUENLO_SYSTEM_PYTHON3_PACKAGE)
    add_test(NAME package_deb
             COMMAND ${QUENLO_SYSTEM_PYTHON3_PACKAGE} ${CMAKE_CURRENT_SOURCE_DIR}/package/package_test.py
                     --build-dir ${CMAKE_BINARY_DIR} --app-id ${QUENLO_MAKER_APP_ID})
    # Alone: its packing and lintian would starve the timing of the end-to-end tests beside it.
    set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL ON)
endif()
