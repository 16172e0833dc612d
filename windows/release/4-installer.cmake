# Stage 4, the installer: per user and without administrator rights, made by CPack's NSIS
# generator with the project's template (windows/installer/) from the same install rules as the
# zip, its files stamped with the staged time. Run by the target windows-installer, after the
# zip, so that the two never sign the same file at once.
if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(CPACK_GENERATOR NSIS)
    set(CPACK_PACKAGE_NAME "${WINDOWS_PRODUCT}")
    set(CPACK_PACKAGE_VENDOR ${ORDERING_PUBLISHER})
    set(CPACK_PACKAGE_VERSION ${ORDERING_VERSION})
    set(CPACK_PACKAGE_FILE_NAME ${WINDOWS_FOLDER}-setup)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "${WINDOWS_PRODUCT}")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${WINDOWS_REGISTRY_KEY})
    set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
    set(CPACK_NSIS_MUI_ICON ${ORDERING_ICON})
    set(CPACK_ORDERING_EXE ordering-system${CMAKE_EXECUTABLE_SUFFIX})
    set(CPACK_ORDERING_NSIS_DIR ${CMAKE_SOURCE_DIR}/windows/installer)
    set(CPACK_ORDERING_SIGN ${ORDERING_SIGN})
    set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/windows/installer/files.cmake)
    list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/windows/installer)
    include(CPack)
    set(WINDOWS_INSTALLER ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}-setup.exe)
    find_program(ORDERING_MAKENSIS makensis REQUIRED)
    add_custom_target(windows-installer
        COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR} -DCONFIG=$<CONFIG>
                -P ${CMAKE_CURRENT_LIST_FILE}
        COMMENT "Building ${WINDOWS_FOLDER}-setup.exe"
        VERBATIM)
    add_dependencies(windows-installer windows-stage windows-zip)
    return()
endif()

file(READ ${BINARY_DIR}/windows-release-epoch.txt epoch)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BINARY_DIR}/CPackConfig.cmake
        -C ${CONFIG} -B ${BINARY_DIR}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "CPack failed:\n${output}")
endif()
