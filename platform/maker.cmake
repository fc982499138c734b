# The maker's header: every QUENLO_MAKER_* cache variable becomes a C++ string literal in
# ${CMAKE_BINARY_DIR}/generated/maker.h, which every library includes as "maker.h".
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
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/maker.h.in ${CMAKE_BINARY_DIR}/generated/maker.h @ONLY)
target_sources(quenlo_platform PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/maker.h.in)
target_include_directories(quenlo_platform PUBLIC ${CMAKE_BINARY_DIR}/generated)
