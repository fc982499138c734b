# Desktop integration (desktop entry, metainfo, icons, manual page, copyright, changelog) and the
# Debian package built by CPack. Linux only: other systems package the program their own way.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

set(QUENLO_MAKER_LICENSE "LicenseRef-proprietary" CACHE STRING
    "SPDX license expression of the program, for the metainfo and the copyright file")
set(QUENLO_DICTIONARY_COPYRIGHT /usr/share/doc/wamerican/copyright CACHE FILEPATH
    "Copyright and license of QUENLO_DICTIONARY, shipped with the default words made from it")

set(quenlo_generated ${CMAKE_BINARY_DIR}/generated)
set(quenlo_app_id ${QUENLO_MAKER_APP_ID})
# Where the package puts the shared files; the manual page and the copyright name them.
set(QUENLO_MANPAGE_DATADIR /usr/share/quenlo)

function(quenlo_xml_escape out text)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
quenlo_xml_escape(QUENLO_METAINFO_AUTHOR "${QUENLO_MAKER_AUTHOR}")
quenlo_xml_escape(QUENLO_METAINFO_SITE_URL "${QUENLO_MAKER_SITE_URL}")
# The developer's id is the maker's reversed domain, the application id without the program.
string(REGEX REPLACE "\\.[^.]*$" "" QUENLO_METAINFO_DEVELOPER_ID "${quenlo_app_id}")

configure_file(${PROJECT_SOURCE_DIR}/resources/quenlo.desktop.in ${quenlo_generated}/${quenlo_app_id}.desktop @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/quenlo.metainfo.xml.in
               ${quenlo_generated}/${quenlo_app_id}.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/quenlo.1.in ${quenlo_generated}/quenlo.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.in ${quenlo_generated}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/copyright.in ${quenlo_generated}/copyright @ONLY)
if(EXISTS "${QUENLO_DICTIONARY_COPYRIGHT}")
    file(READ "${QUENLO_DICTIONARY_COPYRIGHT}" quenlo_dictionary_copyright)
    file(APPEND ${quenlo_generated}/copyright "${quenlo_dictionary_copyright}")
else()
    message(WARNING "${QUENLO_DICTIONARY_COPYRIGHT} is missing: the copyright file lacks the word list's license")
endif()

# Icons in the sizes desktops look for, drawn from the one scalable picture.
find_program(QUENLO_RSVG_CONVERT rsvg-convert)
if(NOT QUENLO_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert is missing: install the package librsvg2-bin")
endif()
set(quenlo_icon_svg ${PROJECT_SOURCE_DIR}/resources/quenlo.svg)
set(quenlo_icon_files)
foreach(size 16 32 48 64 128)
    set(png ${quenlo_generated}/icons/${size}x${size}/${quenlo_app_id}.png)
    add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${quenlo_generated}/icons/${size}x${size}
        COMMAND ${QUENLO_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${quenlo_icon_svg}
        DEPENDS ${quenlo_icon_svg}
        VERBATIM)
    list(APPEND quenlo_icon_files ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${quenlo_icon_svg} DESTINATION share/icons/hicolor/scalable/apps RENAME ${quenlo_app_id}.svg)

# Debian wants the manual page and the changelog compressed, reproducibly (no name, no time).
find_program(QUENLO_GZIP gzip REQUIRED)
foreach(doc quenlo.1 changelog)
    add_custom_command(
        OUTPUT ${quenlo_generated}/${doc}.gz
        COMMAND ${QUENLO_GZIP} -9nc ${quenlo_generated}/${doc} > ${quenlo_generated}/${doc}.gz
        DEPENDS ${quenlo_generated}/${doc})
endforeach()
add_custom_target(quenlo_desktop_files ALL
                  DEPENDS ${quenlo_icon_files} ${quenlo_generated}/quenlo.1.gz ${quenlo_generated}/changelog.gz)

install(FILES ${quenlo_generated}/${quenlo_app_id}.desktop DESTINATION share/applications)
install(FILES ${quenlo_generated}/${quenlo_app_id}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${quenlo_generated}/quenlo.1.gz DESTINATION share/man/man1)
install(FILES ${quenlo_generated}/copyright ${quenlo_generated}/changelog.gz DESTINATION share/doc/quenlo)

# Relocations read-only before the program starts, as Debian builds its own programs.
target_link_options(quenlo PRIVATE -Wl,-z,relro -Wl,-z,now)

# The Debian package: cpack -G DEB in the build folder, or ./build.sh package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${QUENLO_MAKER_AUTHOR}")
set(CPACK_PACKAGE_CONTACT "${QUENLO_MAKER_AUTHOR} <${QUENLO_MAKER_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENLO_MAKER_AUTHOR} <${QUENLO_MAKER_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUENLO_MAKER_SITE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack strips the program itself and keeps its debug information apart, in quenlo-dbgsym_*.ddeb;
# CPACK_STRIP_FILES would strip it first and leave nothing to keep.
set(CPACK_STRIP_FILES OFF)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "complete the word being typed in any application
Quenlo Word Complete runs beside whatever application you type in. After a
few letters it shows the matching words of its word list in a small pop-up;
Up and Down pick a word, and Tab (or Shift) types the missing letters into
the application.

Users add and remove their own words, import and save plain-text word
lists, and keep the program in the notification area, started with the
desktop session. Completion needs an X11 desktop (or XWayland).")
include(CPack)
