# Dead keys and compose sequences through libxkbcommon's compose tables, for the backends whose keys
# are keysyms (X11, IBus).
if(X11LIBS_FOUND)
    pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
    add_library(quenlo_platform_xkbcompose STATIC xkb/xkbcompose.cpp xkb/xkbcompose.h)
    target_link_libraries(quenlo_platform_xkbcompose PRIVATE PkgConfig::XKBCOMMON quenlo_warnings)
endif()
