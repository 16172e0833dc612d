# Run by the target windows-zip (windows/release/3-zip.cmake): installs the folder and packs it.
include(${VALUES})
include(${CMAKE_CURRENT_LIST_DIR}/release-time.cmake)
set(stage ${WINDOWS_BINARY_DIR}/windows-zip-stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${WINDOWS_BINARY_DIR} --config ${CONFIG}
        --prefix ${stage}/${WINDOWS_FOLDER}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${ORDERING_PYTHON} ${WINDOWS_SCRIPTS}/pack-folder.py ${stage}
        ${WINDOWS_FOLDER} ${WINDOWS_ZIP} ${epoch}
    COMMAND_ERROR_IS_FATAL ANY)
configure_file(${stage}/${WINDOWS_FOLDER}/${WINDOWS_SBOM}
    ${WINDOWS_BINARY_DIR}/${WINDOWS_FOLDER}.spdx.json COPYONLY)
