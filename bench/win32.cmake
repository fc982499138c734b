# Benchmarks of the Windows build, run under Wine.
if(WIN32 AND TARGET quenlo_win32_editprobe)
    # Through the real hook: the real quenlo.exe, keys sent with SendInput into a Win32 EDIT.
    add_executable(bench_popuplatency_win32 popuplatency_win32.cpp)
    target_include_directories(bench_popuplatency_win32 PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(bench_popuplatency_win32 PRIVATE PkgConfig::SQLITE3 user32 advapi32 quenlo_warnings)
    target_compile_definitions(bench_popuplatency_win32 PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
    target_link_options(bench_popuplatency_win32 PRIVATE -municode)
    add_dependencies(bench_popuplatency_win32 quenlo quenlo_win32_editprobe)
    if(QUENLO_BUILD_TESTS)
        add_test(NAME bench_popuplatency_win32_short
                 COMMAND bench_popuplatency_win32 $<TARGET_FILE:quenlo> --short)
        set_tests_properties(bench_popuplatency_win32_short PROPERTIES LABELS "bench;windows" TIMEOUT 300)
    endif()
endif()
