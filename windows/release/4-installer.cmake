# Stage 4, the installer: per user and without administrator rights, made by CPack's NSIS
# generator with the project's template (windows/installer/) from the same install rules as the
# zip, its files stamped with the staged time. Run by the target windows-installer
# (run/4-installer.cmake), after the zip, so that the two never sign the same file at once.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME "${WINDOWS_PRODUCT}")
set(CPACK_PACKAGE_VENDOR ${ORDERING_PUBLISHER})
set(CPACK_PACKAGE_VERSION ${ORDERING_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${WINDOWS_FOLDER}-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${WINDOWS_PRODUCT}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${WINDOWS_REGISTRY_KEY})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_NSIS_MUI_ICON ${ORDERING_ICON})
set(CPACK_ORDERING_EXE ${WINDOWS_PROGRAM}${CMAKE_EXECUTABLE_SUFFIX})
set(CPACK_ORDERING_NSIS_DIR ${CMAKE_SOURCE_DIR}/windows/installer)
set(CPACK_ORDERING_SCRIPTS ${WINDOWS_SCRIPTS})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/windows/installer/files.cmake)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/windows/installer)
include(CPack)
set(WINDOWS_INSTALLER ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}-setup.exe)
find_program(ORDERING_MAKENSIS makensis REQUIRED)
add_custom_target(windows-installer
    COMMAND ${CMAKE_COMMAND} -DVALUES=${WINDOWS_VALUES} -DCONFIG=$<CONFIG>
            -P ${WINDOWS_RUN}/4-installer.cmake
    COMMENT "Building ${WINDOWS_FOLDER}-setup.exe"
    VERBATIM)
add_dependencies(windows-installer windows-stage windows-zip)
