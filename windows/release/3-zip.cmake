# Stage 3, the zip: the folder inside it, its files installed with the staged time (strip
# writes it into each header it rewrites) and packed in a fixed order with that time, so that
# one commit gives the same bytes; beside it, the folder's bill of materials, for a shop's IT
# to read before unpacking. Run by the target windows-zip (run/3-zip.cmake).
set(WINDOWS_ZIP ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}.zip)
add_custom_target(windows-zip
    COMMAND ${CMAKE_COMMAND} -DVALUES=${WINDOWS_VALUES} -DCONFIG=$<CONFIG>
            -P ${WINDOWS_RUN}/3-zip.cmake
    COMMENT "Packing ${WINDOWS_FOLDER}.zip"
    VERBATIM)
add_dependencies(windows-zip windows-stage ordering-system)
