# The Windows zip a user unpacks and runs: quenlo.exe with its words, help page, Qt and MinGW DLLs
# and the Qt plugins it loads; and the installer of the same files, made with NSIS.
# A windowed program: no console window beside it.
set_target_properties(quenlo PROPERTIES WIN32_EXECUTABLE ON)

set(QUENLO_ZIP_NAME quenlo-${PROJECT_VERSION}-windows-x64)
set(QUENLO_ZIP_STAGE ${CMAKE_BINARY_DIR}/package/${QUENLO_ZIP_NAME})
set(QUENLO_ZIP ${CMAKE_BINARY_DIR}/${QUENLO_ZIP_NAME}.zip)
set(QUENLO_ZIP_FILES)
foreach(dll Qt6Core Qt6Gui Qt6Widgets)
    list(APPEND QUENLO_ZIP_FILES ${CMAKE_BINARY_DIR}/bin/${dll}.dll)
endforeach()
foreach(dll IN LISTS QUENLO_MINGW_DLLS)
    list(APPEND QUENLO_ZIP_FILES ${CMAKE_BINARY_DIR}/bin/${dll})
endforeach()
list(APPEND QUENLO_ZIP_FILES ${CMAKE_BINARY_DIR}/bin/words.mdb ${CMAKE_BINARY_DIR}/bin/quenlo-help.html)
add_custom_target(quenlo_windows_zip
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package ${QUENLO_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUENLO_ZIP_STAGE}/platforms ${QUENLO_ZIP_STAGE}/styles
                                               ${QUENLO_ZIP_STAGE}/imageformats
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quenlo> ${QUENLO_ZIP_FILES} ${QUENLO_ZIP_STAGE}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/bin/platforms/qwindows.dll ${QUENLO_ZIP_STAGE}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/bin/styles/qwindowsvistastyle.dll ${QUENLO_ZIP_STAGE}/styles
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/bin/imageformats/qico.dll ${QUENLO_ZIP_STAGE}/imageformats
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
            ${CMAKE_COMMAND} -E tar cf ${QUENLO_ZIP} --format=zip ${QUENLO_ZIP_NAME}
    DEPENDS quenlo quenlo_words quenlo_help_page
    COMMENT "Making ${QUENLO_ZIP_NAME}.zip"
    VERBATIM)


# The installer holds what the zip holds, laid out as installed programs are: the program in bin\,
# its default words and help page in share\quenlo\. Each user then works on a copy of the words
# under %APPDATA%, which an update or an uninstall leaves alone. The uninstaller removes exactly
# the files the installer put there.
set(QUENLO_INSTALLER ${CMAKE_BINARY_DIR}/quenlo-${PROJECT_VERSION}-windows-x64-setup.exe)
set(QUENLO_INSTALLER_DELETES "")
foreach(file quenlo.exe ${QUENLO_ZIP_FILES} platforms/qwindows.dll styles/qwindowsvistastyle.dll
             imageformats/qico.dll)
    get_filename_component(name ${file} NAME)
    get_filename_component(folder ${file} DIRECTORY)
    if(name MATCHES "^(words\\.mdb|quenlo-help\\.html)$")
        set(name "share\\quenlo\\${name}")
    elseif(folder MATCHES "^(platforms|styles|imageformats)$")
        set(name "bin\\${folder}\\${name}")
    else()
        set(name "bin\\${name}")
    endif()
    string(APPEND QUENLO_INSTALLER_DELETES "    Delete \"$INSTDIR\\${name}\"\n")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-installer.nsi.in ${CMAKE_BINARY_DIR}/quenlo-installer.nsi @ONLY)
find_program(QUENLO_MAKENSIS makensis)
if(QUENLO_MAKENSIS)
    add_custom_target(quenlo_windows_installer
        COMMAND ${QUENLO_MAKENSIS} -V2 ${CMAKE_BINARY_DIR}/quenlo-installer.nsi
        DEPENDS quenlo_windows_zip
        COMMENT "Making quenlo-${PROJECT_VERSION}-windows-x64-setup.exe"
        VERBATIM)
else()
    add_custom_target(quenlo_windows_installer
        COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing: install the package nsis"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()
