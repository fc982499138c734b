# Test suites of the Windows backends, run under Wine on an X server (label windows).
if(WIN32)
    # A plain Win32 text field in a process of its own.
    add_executable(quenlo_win32_editprobe win32/editprobe.cpp)
    target_link_libraries(quenlo_win32_editprobe PRIVATE quenlo_warnings)
    target_compile_definitions(quenlo_win32_editprobe PRIVATE WIN32_LEAN_AND_MEAN UNICODE _UNICODE)
    target_link_options(quenlo_win32_editprobe PRIVATE -municode)

    # The session start through the user's Run key, too.
    foreach(suite tst_win32keyboardhook tst_win32focusguard tst_win32runautostart)
        quenlo_add_test(${suite} SOURCES win32/${suite}.cpp win32/win32testing.h
                        LIBS quenlo_platform_win32 user32 advapi32)
        target_compile_definitions(${suite} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
    endforeach()
    add_dependencies(tst_win32focusguard quenlo_win32_editprobe)
    # A German dead key: Wine takes the layout from the X server, set before the suite starts.
    add_test(NAME tst_win32keyboardhook_de
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/xkblayout.sh de ${CMAKE_BINARY_DIR}/wine-run.sh
                     $<TARGET_FILE:tst_win32keyboardhook> leavesTheLayoutsDeadKeyAlone
                     -o ${CMAKE_CURRENT_BINARY_DIR}/tst_win32keyboardhook_de.log,txt)
    set_tests_properties(tst_win32keyboardhook_de PROPERTIES
        ENVIRONMENT "LC_ALL=C.UTF-8;QUENLO_TEST_XKB_LAYOUT=de" LABELS "windows;unit" TIMEOUT 120)
    # 8-bit word lists in the ANSI code page of other system locales too: Wine takes its locale from
    # LC_ALL.
    foreach(locale_page IN ITEMS ru_RU.UTF-8:1251 ja_JP.UTF-8:932)
        string(REPLACE ":" ";" locale_page ${locale_page})
        list(GET locale_page 0 locale)
        list(GET locale_page 1 page)
        add_test(NAME tst_codepage_${page}
                 COMMAND tst_codepage -o ${CMAKE_CURRENT_BINARY_DIR}/tst_codepage_${page}.log,txt)
        set_tests_properties(tst_codepage_${page} PROPERTIES
            ENVIRONMENT "LC_ALL=${locale};QUENLO_TEST_CODE_PAGE=${page}" LABELS "windows;unit" TIMEOUT 120)
    endforeach()

    # End to end: the real quenlo.exe in Wine's notepad and in a Win32 EDIT of another process.
    add_executable(quenlo_e2e_win32 win32/e2e_win32.cpp win32/quenlorun.h win32/win32testing.h)
    target_link_libraries(quenlo_e2e_win32 PRIVATE PkgConfig::SQLITE3 user32 advapi32 quenlo_warnings)
    target_compile_definitions(quenlo_e2e_win32 PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
    target_link_options(quenlo_e2e_win32 PRIVATE -municode)
    add_dependencies(quenlo_e2e_win32 quenlo quenlo_win32_editprobe)
    add_test(NAME e2e_win32 COMMAND quenlo_e2e_win32 $<TARGET_FILE:quenlo>)
    set_tests_properties(e2e_win32 PROPERTIES LABELS "windows;e2e" TIMEOUT 300)

    # The installer, made by the quenlo_windows_installer target before the tests run: a silent
    # per-user install under Wine and a silent uninstall.
    add_test(NAME windows_installer
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32/installer.sh ${CMAKE_BINARY_DIR}/wine-run.sh
                     ${CMAKE_BINARY_DIR}/quenlo-${PROJECT_VERSION}-windows-x64-setup.exe)
    set_tests_properties(windows_installer PROPERTIES LABELS "windows;package" TIMEOUT 180)
endif()
