# Stage 2, the folder's programs and libraries as they ship: stripped (the symbols serve a
# debugger, not the shop), then each given its padding and true PE checksum and, when a
# certificate is given, a signature (windows/scripts/sign-windows.sh). A file is signed once
# per build folder: the zip and the installer carry the same signed bytes. The installer, the
# uninstaller it writes and the NSIS plugins it loads get the same from its template. Last,
# the folder's bill of materials, of these very bytes. The install step runs
# run/2-binaries.cmake for it, after the folder's files, with the values found here.
find_program(ORDERING_STRIP ${mingw_triple}-strip REQUIRED)
file(GLOB qt_sbom ${ORDERING_WINDOWS_QT}/sbom/qtbase-*.spdx)
file(STRINGS ${qt_notices}/SOURCE.txt qt_package REGEX "^Debian source package: ")
string(REGEX REPLACE "^Debian source package: ([^ ]*) .*" "\\1" qt_source "${qt_package}")
string(REGEX REPLACE ".* " "" qt_package "${qt_package}")
if(NOT qt_sbom OR qt_package STREQUAL "")
    message(FATAL_ERROR "${ORDERING_WINDOWS_QT} has no bill of materials or no SOURCE.txt: remove "
        "it, and windows/scripts/windows-toolkit.sh builds it again")
endif()
# The Debian release of the build root, as package URLs name it (debian-13).
file(STRINGS /etc/os-release os_id REGEX "^ID=")
file(STRINGS /etc/os-release os_version REGEX "^VERSION_ID=")
string(REGEX REPLACE "^ID=\"?([^\"]*)\"?$" "\\1" os_id "${os_id}")
string(REGEX REPLACE "^VERSION_ID=\"?([^\"]*)\"?$" "\\1" os_version "${os_version}")
set(sbom_versions ordering-system=${ORDERING_VERSION} qtbase=${qt_package} qtbase.source=${qt_source}
    "qtbase.location=${ORDERING_QT_SOURCE_URL}" distro=${os_id}-${os_version})
foreach(part gcc-runtime:gcc-mingw-w64-x86-64-posix-runtime mingw-w64:mingw-w64-x86-64-dev)
    string(REPLACE ":" ";" part ${part})
    list(GET part 1 package)
    execute_process(COMMAND dpkg-query -W
            "-f=\${Version} \${Architecture} \${source:Package} \${source:Version}" ${package}
        OUTPUT_VARIABLE fields RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "The compiler's runtime package ${package} is not installed")
    endif()
    string(REPLACE " " ";" fields "${fields}")
    list(GET fields 0 version)
    list(GET fields 1 architecture)
    list(GET fields 2 source)
    list(GET fields 3 source_version)
    list(GET part 0 name)
    list(APPEND sbom_versions ${name}=${version}
        ${name}.deb=${package}/${architecture}/${source}/${source_version})
endforeach()
install(SCRIPT ${WINDOWS_VALUES} SCRIPT ${WINDOWS_RUN}/2-binaries.cmake)
