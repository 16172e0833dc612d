# Run by the target windows-qt-source (windows/release/5-qt-source.cmake): packs the Qt source
# with the time its build used.
include(${VALUES})
file(STRINGS ${WINDOWS_QT_SOURCE}/SOURCE.txt qt_epoch REGEX "SOURCE_DATE_EPOCH=[0-9]+$")
string(REGEX REPLACE ".*=" "" qt_epoch "${qt_epoch}")
if(qt_epoch STREQUAL "")
    message(FATAL_ERROR "${WINDOWS_QT_SOURCE}/SOURCE.txt names no SOURCE_DATE_EPOCH")
endif()
get_filename_component(source_folder ${WINDOWS_QT_SOURCE_TAR} NAME_WE)
set(stage ${WINDOWS_BINARY_DIR}/windows-qt-source-stage)
file(REMOVE_RECURSE ${stage})
file(COPY ${WINDOWS_QT_SOURCE}/ DESTINATION ${stage}/${source_folder})
execute_process(COMMAND ${ORDERING_PYTHON} ${WINDOWS_SCRIPTS}/pack-folder.py ${stage}
        ${source_folder} ${WINDOWS_QT_SOURCE_TAR} ${qt_epoch}
    COMMAND_ERROR_IS_FATAL ANY)
