# Benchmarks of the engine area.
quenlo_add_bench(bench_keystrokes SOURCES keystrokes.cpp LIBS quenlo_ui quenlo_wordsfile)

# The typist that drives the engine over a text, shared by the keystrokes-saved benchmark and its test.
add_library(quenlo_typist STATIC typist.cpp typist.h)
target_link_libraries(quenlo_typist PUBLIC quenlo_engine quenlo_platform_fakes PRIVATE quenlo_warnings)
target_include_directories(quenlo_typist PUBLIC ${PROJECT_SOURCE_DIR})

# The text typed: the English quotations of Debian's fortunes package (needed only here).
set(QUENLO_BENCH_CORPUS
    "/usr/share/games/fortunes/fortunes;/usr/share/games/fortunes/wisdom;/usr/share/games/fortunes/literature"
    CACHE STRING "Text files the keystrokes-saved benchmark types, fortune files or plain text")
quenlo_add_bench(bench_keystrokes_saved SOURCES keystrokessaved.cpp LIBS quenlo_typist)
string(REPLACE ";" ":" quenlo_bench_corpus_path "${QUENLO_BENCH_CORPUS}")
target_compile_definitions(bench_keystrokes_saved PRIVATE QUENLO_BENCH_CORPUS="${quenlo_bench_corpus_path}")
add_dependencies(bench_keystrokes_saved quenlo_words)
if(QUENLO_BUILD_TESTS)
    quenlo_add_test(tst_typist SOURCES ${PROJECT_SOURCE_DIR}/tests/tst_typist.cpp LIBS quenlo_typist quenlo_wordsfile)
endif()
