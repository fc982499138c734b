# What a Windows build needs beyond the common one: SQLite compiled in from its amalgamation, the
# Qt and MinGW run-time files beside the programs, Wine to run them at build and test time, and
# the zip a user unpacks.
set(QUENLO_SQLITE_AMALGAMATION "" CACHE PATH "Folder holding sqlite3.c and sqlite3.h")
set(QUENLO_QT_MINGW_PREFIX "" CACHE PATH "Qt built for MinGW (has bin/Qt6Core.dll and plugins/)")
set(QUENLO_MINGW_RUNTIME_DIRS /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib
    CACHE STRING "Folders holding the MinGW run-time DLLs of the posix compiler")
if(NOT EXISTS "${QUENLO_SQLITE_AMALGAMATION}/sqlite3.c")
    message(FATAL_ERROR "QUENLO_SQLITE_AMALGAMATION must name a folder holding sqlite3.c (./build.sh windows sets it)")
endif()
if(NOT EXISTS "${QUENLO_QT_MINGW_PREFIX}/bin/Qt6Core.dll")
    message(FATAL_ERROR "QUENLO_QT_MINGW_PREFIX must name the MinGW Qt (./build.sh windows sets it)")
endif()

# Debian has no SQLite for MinGW. The target takes the name the pkg-config one has elsewhere, so the
# libraries link it alike.
enable_language(C)
add_library(quenlo_sqlite3 STATIC ${QUENLO_SQLITE_AMALGAMATION}/sqlite3.c)
set_target_properties(quenlo_sqlite3 PROPERTIES AUTOMOC OFF)
target_include_directories(quenlo_sqlite3 SYSTEM PUBLIC ${QUENLO_SQLITE_AMALGAMATION})
target_compile_definitions(quenlo_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0)
add_library(PkgConfig::SQLITE3 ALIAS quenlo_sqlite3)

# The programs in bin/ run from there, under Wine or on Windows: the DLLs they load sit beside them,
# and Qt looks for its plugins there too.
set(QUENLO_QT_DLLS Qt6Core Qt6Gui Qt6Widgets Qt6Test)
set(QUENLO_QT_PLUGINS platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll
    imageformats/qico.dll)
set(QUENLO_MINGW_DLLS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
set(QUENLO_RUNTIME_FILES)
foreach(dll IN LISTS QUENLO_QT_DLLS)
    list(APPEND QUENLO_RUNTIME_FILES ${QUENLO_QT_MINGW_PREFIX}/bin/${dll}.dll)
endforeach()
set(QUENLO_MINGW_DLL_PATHS)
foreach(dll IN LISTS QUENLO_MINGW_DLLS)
    find_file(QUENLO_DLL_${dll} ${dll} PATHS ${QUENLO_MINGW_RUNTIME_DIRS} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT QUENLO_DLL_${dll})
        message(FATAL_ERROR "${dll} is not in QUENLO_MINGW_RUNTIME_DIRS: install g++-mingw-w64-x86-64-posix")
    endif()
    list(APPEND QUENLO_MINGW_DLL_PATHS ${QUENLO_DLL_${dll}})
endforeach()
file(COPY ${QUENLO_RUNTIME_FILES} ${QUENLO_MINGW_DLL_PATHS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
foreach(plugin IN LISTS QUENLO_QT_PLUGINS)
    get_filename_component(folder ${plugin} DIRECTORY)
    file(COPY ${QUENLO_QT_MINGW_PREFIX}/plugins/${plugin} DESTINATION ${CMAKE_BINARY_DIR}/bin/${folder})
endforeach()

# Build-time tools and tests run under Wine, in one prefix per build folder.
find_program(QUENLO_WINE wine)
if(NOT QUENLO_WINE)
    message(FATAL_ERROR "wine is needed to run the words.mdb maker: install the package wine")
endif()
set(QUENLO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
