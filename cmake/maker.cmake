# Headers generated from the project's settings, which every library may include: the maker's header,
# where every QUENLO_MAKER_* cache variable becomes a C++ string literal, and the version header, where
# the project's version is written the one time. Both go to ${CMAKE_BINARY_DIR}/generated.
foreach(name SITE_NAME SITE_URL AUTHOR EMAIL SUGGESTIONS_EMAIL PROMO_TEXT PROMO_URL APP_ID)
    set(text "${QUENLO_MAKER_${name}}")
    # A packager may write the line break of the promotional text as the two characters \n.
    string(REPLACE "\\n" "\n" text "${text}")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\r" "" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(QUENLO_MAKER_${name}_LITERAL "${text}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/maker.h.in ${CMAKE_BINARY_DIR}/generated/maker.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)
add_library(quenlo_generated INTERFACE)
target_sources(quenlo_generated INTERFACE ${CMAKE_BINARY_DIR}/generated/maker.h ${CMAKE_BINARY_DIR}/generated/version.h)
target_include_directories(quenlo_generated INTERFACE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(quenlo_generated INTERFACE Qt6::Core)
