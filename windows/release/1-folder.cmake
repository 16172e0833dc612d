# Stage 1, the folder as shipped: beside the program and its pictures (installed by the
# project), the Qt libraries and plugins it loads, the compiler's runtime, the licence texts of
# all of them and README.txt. No windeployqt runs in a cross build; these rules stand for it.
# The libraries and plugins, and where each comes from: windows/scripts/shipped.txt. Each one's
# name in the folder and what it is copied from stay in ORDERING_SHIPPED_FILES and
# ORDERING_SHIPPED_FROM for the benchmarks' folder.
file(STRINGS ${WINDOWS_SCRIPTS}/shipped.txt shipped REGEX "^[^#]")
set(ORDERING_SHIPPED_FILES)
set(ORDERING_SHIPPED_FROM)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WINDOWS_SCRIPTS}/shipped.txt)
set(runtime_dlls)
foreach(line IN LISTS shipped)
    string(REGEX MATCHALL "[^ ]+" line "${line}")
    list(GET line 0 file)
    list(GET line 2 from)
    get_filename_component(dll ${file} NAME)
    get_filename_component(destination ${file} DIRECTORY)
    if(destination STREQUAL "")
        set(destination .)
    endif()
    if(from STREQUAL "compiler")
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
            OUTPUT_VARIABLE from OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(from ${from} REALPATH)
        if(NOT EXISTS ${from})
            message(FATAL_ERROR "The compiler's ${dll} is not to be found")
        endif()
        list(APPEND runtime_dlls ${from})
    else()
        set(from $<TARGET_FILE:${from}>)
    endif()
    list(APPEND ORDERING_SHIPPED_FILES ${file})
    list(APPEND ORDERING_SHIPPED_FROM ${from})
    install(FILES ${from} DESTINATION ${destination})
endforeach()

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
# windows/scripts/windows-toolkit.sh, and the compiler's runtime's, from Debian's packages of it.
set(qt_notices ${ORDERING_WINDOWS_QT}/share/ordering-system/qtbase)
if(NOT EXISTS ${qt_notices}/SOURCE.txt)
    message(FATAL_ERROR "${ORDERING_WINDOWS_QT} keeps no licence texts: remove it, and "
        "windows/scripts/windows-toolkit.sh builds it again with them")
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
# Written by the staging step, which knows the commit.
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

