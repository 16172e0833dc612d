# The Windows folder without windeployqt, which a cross build lacks: the Qt libraries and
# plugins the program loads and the compiler's runtime, installed beside the program, and the
# target windows-zip that packs it as build/windows/ordering-system-windows-x64.zip.
set(runtime_dlls)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path ${path} REALPATH)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "The compiler's ${dll} is not to be found")
    endif()
    list(APPEND runtime_dlls ${path})
endforeach()
install(FILES ${runtime_dlls}
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QJpegPlugin> DESTINATION imageformats)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# Where the tests under Wine find the same libraries.
set(ORDERING_WINE_DLL_PATH)
foreach(dll IN LISTS runtime_dlls)
    get_filename_component(dir ${dll} DIRECTORY)
    list(APPEND ORDERING_WINE_DLL_PATH Z:${dir})
endforeach()
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin_dir ${qt_core_dll} DIRECTORY)
list(APPEND ORDERING_WINE_DLL_PATH Z:${qt_bin_dir})
list(REMOVE_DUPLICATES ORDERING_WINE_DLL_PATH)

set(WINDOWS_FOLDER ordering-system-windows-x64)
set(WINDOWS_ZIP ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}.zip)
add_custom_target(windows-zip
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${WINDOWS_FOLDER} ${WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} --install . --prefix ${WINDOWS_FOLDER}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${WINDOWS_ZIP} --format=zip ${WINDOWS_FOLDER}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ordering-system menu-pictures
    COMMENT "Packing ${WINDOWS_FOLDER}.zip"
    VERBATIM)
