# SQLite backend of the word database.
target_sources(quenlo_platform PRIVATE sqliteconnection.cpp sqliteconnection.h)
target_link_libraries(quenlo_platform PRIVATE PkgConfig::SQLITE3)

# Makes words database files: the build-time generator, tests and benchmarks link it, the
# program does not.
add_library(quenlo_wordsfile STATIC wordsfile.cpp wordsfile.h)
target_link_libraries(quenlo_wordsfile PUBLIC quenlo_platform PRIVATE PkgConfig::SQLITE3 quenlo_warnings)
