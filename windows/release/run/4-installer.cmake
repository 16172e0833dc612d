# Run by the target windows-installer (windows/release/4-installer.cmake): CPack makes it.
include(${VALUES})
include(${CMAKE_CURRENT_LIST_DIR}/release-time.cmake)
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${WINDOWS_BINARY_DIR}/CPackConfig.cmake
        -C ${CONFIG} -B ${WINDOWS_BINARY_DIR}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "CPack failed:\n${output}")
endif()
