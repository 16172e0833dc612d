# Run by the install step, after the folder's files (windows/release/2-binaries.cmake): strips
# the folder's programs and libraries, pads and signs them, and writes its bill of materials.
set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE binaries "${installed}/*.exe" "${installed}/*.dll")
list(SORT binaries)
foreach(binary IN LISTS binaries)
    execute_process(COMMAND ${ORDERING_STRIP} --strip-all ${binary} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(
    COMMAND ${WINDOWS_SCRIPTS}/sign-windows.sh --reuse ${WINDOWS_BINARY_DIR}/windows-signed
            ${binaries}
    COMMAND_ERROR_IS_FATAL ANY)

execute_process(COMMAND ${ORDERING_PYTHON} ${WINDOWS_SCRIPTS}/windows-sbom.py
        write ${installed} ${installed}/${WINDOWS_SBOM} "${WINDOWS_QT_SBOM}"
        "$ENV{SOURCE_DATE_EPOCH}" ${WINDOWS_FOLDER} ${WINDOWS_SBOM_VERSIONS}
        "supplier=${ORDERING_PUBLISHER}"
    COMMAND_ERROR_IS_FATAL ANY)
