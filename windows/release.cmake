# The Windows release, stage by stage, each in windows/release/, in the order it is made:
#   0-stage       the commit, its time and README.txt, shared by the zip and the installer
#   1-folder      the folder as shipped: the program, Qt, the compiler's runtime, licences
#   2-binaries    its programs and libraries stripped, padded and signed; its bill of materials
#   3-zip         ordering-system-windows-x64.zip                  (target windows-zip)
#   4-installer   ordering-system-windows-x64-setup.exe            (target windows-installer)
#   5-qt-source   ordering-system-windows-x64-qt-source.tar        (target windows-qt-source)
# The target windows-release makes all three. The checks that follow run on this machine:
# ./windows.sh runs windows/scripts/check-windows-zip.sh and check-qt-source.sh on them and
# compares them with a second build, or, signed, checks them with verify-release.sh.

# The release's names, kept once, for the scripts too, in windows/scripts/common.sh.
set(WINDOWS_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/scripts)
file(STRINGS ${WINDOWS_SCRIPTS}/common.sh names REGEX "^release_[a-z_]+=")
foreach(line IN LISTS names)
    string(REGEX MATCH "^release_([a-z_]+)=\"?([^\"]*)\"?$" name "${line}")
    string(TOUPPER ${CMAKE_MATCH_1} name)
    set(WINDOWS_${name} "${CMAKE_MATCH_2}")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WINDOWS_SCRIPTS}/common.sh)

include(${CMAKE_CURRENT_LIST_DIR}/release/0-stage.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/1-folder.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/2-binaries.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/3-zip.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/4-installer.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/5-qt-source.cmake)
add_custom_target(windows-release)
add_dependencies(windows-release windows-zip windows-installer windows-qt-source)
