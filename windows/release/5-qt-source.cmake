# Stage 5, the Qt source archive published beside the zip and the installer: the source of
# the Qt libraries they carry, as windows/scripts/windows-toolkit.sh kept it, stamped with the
# time that build of Qt used. Run by the target windows-qt-source.
if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(qt_source ${ORDERING_WINDOWS_QT}/share/ordering-system/qtbase-source)
    if(NOT EXISTS ${qt_source}/BUILDING.txt)
        message(FATAL_ERROR "${ORDERING_WINDOWS_QT} keeps no Qt source: remove it, and "
            "windows/scripts/windows-toolkit.sh builds it again with it")
    endif()
    set(WINDOWS_QT_SOURCE_TAR ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}-qt-source.tar)
    add_custom_target(windows-qt-source
        COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR} -DQT_SOURCE=${qt_source}
                -DTAR=${WINDOWS_QT_SOURCE_TAR} -DPYTHON=${Python3_EXECUTABLE}
                -DSCRIPTS=${WINDOWS_SCRIPTS} -P ${CMAKE_CURRENT_LIST_FILE}
        COMMENT "Packing ${WINDOWS_FOLDER}-qt-source.tar"
        VERBATIM)
    return()
endif()

file(STRINGS ${QT_SOURCE}/SOURCE.txt qt_epoch REGEX "SOURCE_DATE_EPOCH=[0-9]+$")
string(REGEX REPLACE ".*=" "" qt_epoch "${qt_epoch}")
if(qt_epoch STREQUAL "")
    message(FATAL_ERROR "${QT_SOURCE}/SOURCE.txt names no SOURCE_DATE_EPOCH")
endif()
get_filename_component(source_folder ${TAR} NAME_WE)
set(stage ${BINARY_DIR}/windows-qt-source-stage)
file(REMOVE_RECURSE ${stage})
file(COPY ${QT_SOURCE}/ DESTINATION ${stage}/${source_folder})
execute_process(COMMAND ${PYTHON} ${SCRIPTS}/pack-folder.py ${stage} ${source_folder} ${TAR}
        ${qt_epoch}
    COMMAND_ERROR_IS_FATAL ANY)
