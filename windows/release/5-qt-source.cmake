# Stage 5, the Qt source archive published beside the zip and the installer: the source of
# the Qt libraries they carry, as windows/scripts/windows-toolkit.sh kept it, stamped with the
# time that build of Qt used. Run by the target windows-qt-source (run/5-qt-source.cmake).
set(qt_source ${ORDERING_WINDOWS_QT}/share/ordering-system/qtbase-source)
if(NOT EXISTS ${qt_source}/BUILDING.txt)
    message(FATAL_ERROR "${ORDERING_WINDOWS_QT} keeps no Qt source: remove it, and "
        "windows/scripts/windows-toolkit.sh builds it again with it")
endif()
set(WINDOWS_QT_SOURCE_TAR ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}-qt-source.tar)
add_custom_target(windows-qt-source
    COMMAND ${CMAKE_COMMAND} -DVALUES=${WINDOWS_VALUES} -P ${WINDOWS_RUN}/5-qt-source.cmake
    COMMENT "Packing ${WINDOWS_FOLDER}-qt-source.tar"
    VERBATIM)
