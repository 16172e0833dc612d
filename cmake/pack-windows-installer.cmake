# Builds the installer with CPack from the same install rules as the zip, its programs stripped
# with the zip's time, which the zip's packing step left behind.
file(READ ${BINARY_DIR}/windows-release-epoch.txt epoch)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BINARY_DIR}/CPackConfig.cmake
        -C ${CONFIG} -B ${BINARY_DIR}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "CPack failed:\n${output}")
endif()
