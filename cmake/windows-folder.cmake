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
# The native look: Qt 6.8 draws Windows 10 and 11 with one plugin, where 6.4 had the Vista one.
if(TARGET Qt6::QModernWindowsStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QModernWindowsStylePlugin> DESTINATION styles)
else()
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()

# Where the tests under Wine find the same libraries. Wine runs outside the Windows build
# root, where the compiler's runtime lies under the root's folder.
set(ORDERING_WINE_DLL_PATH)
foreach(dll IN LISTS runtime_dlls)
    get_filename_component(dir ${dll} DIRECTORY)
    list(APPEND ORDERING_WINE_DLL_PATH Z:$ENV{ORDERING_WINDOWS_ROOT}${dir})
endforeach()
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin_dir ${qt_core_dll} DIRECTORY)
list(APPEND ORDERING_WINE_DLL_PATH Z:${qt_bin_dir})
list(REMOVE_DUPLICATES ORDERING_WINE_DLL_PATH)

# The licence texts of what the folder ships: Qt's, kept from its source by
# scripts/windows-toolkit.sh, and the compiler's runtime's, from Debian's packages of it.
set(qt_notices ${ORDERING_WINDOWS_QT}/share/ordering-system/qtbase)
if(NOT EXISTS ${qt_notices}/SOURCE.txt)
    message(FATAL_ERROR "${ORDERING_WINDOWS_QT} keeps no licence texts: remove it, and "
        "scripts/windows-toolkit.sh builds it again with them")
endif()
# Not what is shipped: Qt's test library, the documentation's licence, and the terms Qt is
# offered under besides the LGPL 3.
install(DIRECTORY ${qt_notices}/ DESTINATION licenses/Qt
    PATTERN testlib EXCLUDE
    PATTERN GFDL-* EXCLUDE PATTERN GPL-2.0-* EXCLUDE PATTERN LicenseRef-Qt-Commercial.txt EXCLUDE)
set(gcc_runtime_copyright /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright)
set(mingw_copyright /usr/share/doc/mingw-w64-x86-64-dev/copyright)
foreach(notice ${gcc_runtime_copyright} ${mingw_copyright})
    if(NOT EXISTS ${notice})
        message(FATAL_ERROR "${notice}, a licence text the folder ships, is missing")
    endif()
endforeach()
# Debian's copyright file sends the reader to its own GPL 3; GCC's own texts go beside it (no
# package installs them). They were kept from GCC 12's source; the GPL 3 and the Runtime
# Library Exception 3.1 are the texts of every GCC since 4.4, GCC 14's included.
install(FILES ${gcc_runtime_copyright} ${CMAKE_SOURCE_DIR}/windows/gcc-runtime/COPYING3
    ${CMAKE_SOURCE_DIR}/windows/gcc-runtime/COPYING.RUNTIME DESTINATION licenses/gcc-runtime)
install(FILES ${mingw_copyright} DESTINATION licenses/mingw-w64)
# Written by the packing step, which knows the commit.
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

# Shipped stripped: the symbols serve a debugger, not the shop.
find_program(ORDERING_STRIP ${mingw_triple}-strip REQUIRED)
install(CODE "
    file(GLOB_RECURSE binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\"
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(binary IN LISTS binaries)
        execute_process(COMMAND \"${ORDERING_STRIP}\" --strip-all \"\${binary}\"
            COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
include(${CMAKE_CURRENT_LIST_DIR}/sign-windows.cmake)

# Last, the bill of materials of the folder as shipped, its programs signed or padded.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB qt_sbom ${ORDERING_WINDOWS_QT}/sbom/qtbase-*.spdx)
file(STRINGS ${qt_notices}/SOURCE.txt qt_package REGEX "^Debian source package: ")
string(REGEX REPLACE ".* " "" qt_package "${qt_package}")
if(NOT qt_sbom OR qt_package STREQUAL "")
    message(FATAL_ERROR "${ORDERING_WINDOWS_QT} has no bill of materials or no SOURCE.txt: remove "
        "it, and scripts/windows-toolkit.sh builds it again")
endif()
set(sbom_versions ordering-system=${ORDERING_VERSION} qtbase=${qt_package})
foreach(part gcc-runtime:gcc-mingw-w64-x86-64-posix-runtime mingw-w64:mingw-w64-x86-64-dev)
    string(REPLACE ":" ";" part ${part})
    list(GET part 1 package)
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
        OUTPUT_VARIABLE version RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "The compiler's runtime package ${package} is not installed")
    endif()
    list(GET part 0 name)
    list(APPEND sbom_versions ${name}=${version})
endforeach()
install(CODE "
    execute_process(COMMAND \"${Python3_EXECUTABLE}\" \"${CMAKE_SOURCE_DIR}/scripts/windows-sbom.py\"
            write \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\"
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/ordering-system.spdx.json\" \"${qt_sbom}\"
            \"\$ENV{SOURCE_DATE_EPOCH}\" ${sbom_versions}
        COMMAND_ERROR_IS_FATAL ANY)")

# The zip: the folder inside it, the same bytes for the same commit; beside it, the source of
# the Qt libraries it carries.
set(WINDOWS_FOLDER ordering-system-windows-x64)
set(WINDOWS_ZIP ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}.zip)
set(WINDOWS_QT_SOURCE_TAR ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}-qt-source.tar)
set(qt_source ${ORDERING_WINDOWS_QT}/share/ordering-system/qtbase-source)
if(NOT EXISTS ${qt_source}/BUILDING.txt)
    message(FATAL_ERROR "${ORDERING_WINDOWS_QT} keeps no Qt source: remove it, and "
        "scripts/windows-toolkit.sh builds it again with it")
endif()
# Whoever passes the release on must tell where the Qt source is, or offer it in writing.
# A release (signed, or ORDERING_RELEASE) must name its publisher with an address, or the
# source's address; a development build keeps the default and says it is not for passing on.
# Both are taken from the environment too, so that ./windows.sh's second build, which must
# write the same README.txt, has them.
set(publisher "the Ordering System developers")
if(DEFINED ENV{ORDERING_PUBLISHER})
    set(publisher "$ENV{ORDERING_PUBLISHER}")
endif()
set(ORDERING_PUBLISHER "${publisher}" CACHE STRING
    "The publisher of the Windows release, with an address: the installer's publisher and \
where README.txt's written offer of the Qt source sends a request")
set(ORDERING_QT_SOURCE_URL "$ENV{ORDERING_QT_SOURCE_URL}" CACHE STRING
    "Where the Qt source archive is published; README.txt quotes it, else offers it in writing")
option(ORDERING_RELEASE "A build for publishing, signed or not: it needs ORDERING_PUBLISHER with \
an address, or ORDERING_QT_SOURCE_URL" OFF)
add_custom_target(windows-zip
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBINARY_DIR=${CMAKE_BINARY_DIR}
            -DCONFIG=$<CONFIG> -DFOLDER=${WINDOWS_FOLDER} -DZIP=${WINDOWS_ZIP}
            -DPYTHON=${Python3_EXECUTABLE} -DQT_VERSION=${Qt6_VERSION}
            -DORDERING_VERSION=${ORDERING_VERSION}
            -DQT_SOURCE=${qt_source} -DQT_SOURCE_TAR=${WINDOWS_QT_SOURCE_TAR}
            -DSBOM=${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}.spdx.json
            "-DQT_SOURCE_URL=${ORDERING_QT_SOURCE_URL}" "-DPUBLISHER=${ORDERING_PUBLISHER}"
            -DRELEASE=${ORDERING_RELEASE}
            -P ${CMAKE_CURRENT_LIST_DIR}/pack-windows-zip.cmake
    DEPENDS ordering-system
    COMMENT "Packing ${WINDOWS_FOLDER}.zip and its Qt source archive"
    VERBATIM)

# The installer, per user and without administrator rights: CPack's NSIS generator with the
# project's own template, cmake/NSIS.template.in, found on the module path.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME "Ordering System")
set(CPACK_PACKAGE_VENDOR ${ORDERING_PUBLISHER})
set(CPACK_PACKAGE_VERSION ${ORDERING_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${WINDOWS_FOLDER}-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Ordering System")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_NSIS_MUI_ICON ${ORDERING_ICON})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/nsis-files.cmake)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
include(CPack)
set(WINDOWS_INSTALLER ${CMAKE_BINARY_DIR}/${WINDOWS_FOLDER}-setup.exe)
find_program(ORDERING_MAKENSIS makensis REQUIRED)
add_custom_target(windows-installer
    COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR} -DCONFIG=$<CONFIG>
            -P ${CMAKE_CURRENT_LIST_DIR}/pack-windows-installer.cmake
    COMMENT "Building ${WINDOWS_FOLDER}-setup.exe"
    VERBATIM)
add_dependencies(windows-installer windows-zip)
