# Stage 3, the zip: the folder inside it, its files installed with the staged time (strip
# writes it into each header it rewrites) and packed in a fixed order with that time, so that
# one commit gives the same bytes; beside it, the folder's bill of materials, for a shop's IT
# to read before unpacking. Run by the target windows-zip.
if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(WINDOWS_ZIP ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}.zip)
    add_custom_target(windows-zip
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBINARY_DIR=${CMAKE_BINARY_DIR}
                -DCONFIG=$<CONFIG> -DFOLDER=${WINDOWS_FOLDER} -DZIP=${WINDOWS_ZIP}
                -DPYTHON=${Python3_EXECUTABLE} -DSCRIPTS=${WINDOWS_SCRIPTS}
                -P ${CMAKE_CURRENT_LIST_FILE}
        COMMENT "Packing ${WINDOWS_FOLDER}.zip"
        VERBATIM)
    add_dependencies(windows-zip windows-stage ordering-system)
    return()
endif()

file(READ ${BINARY_DIR}/windows-release-epoch.txt epoch)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
set(stage ${BINARY_DIR}/windows-zip-stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --config ${CONFIG}
        --prefix ${stage}/${FOLDER}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${PYTHON} ${SCRIPTS}/pack-folder.py ${stage} ${FOLDER} ${ZIP} ${epoch}
    COMMAND_ERROR_IS_FATAL ANY)
configure_file(${stage}/${FOLDER}/ordering-system.spdx.json ${BINARY_DIR}/${FOLDER}.spdx.json
    COPYONLY)
