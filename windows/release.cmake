# The Windows release, stage by stage, each in windows/release/, in the order it is made:
#   0-stage       the commit, its time and README.txt, shared by the zip and the installer
#   1-folder      the folder as shipped: the program, Qt, the compiler's runtime, licences
#   2-binaries    its programs and libraries stripped, padded and signed; its bill of materials
#   3-zip         ordering-system-windows-x64.zip                  (target windows-zip)
#   4-installer   ordering-system-windows-x64-setup.exe            (target windows-installer)
#   5-qt-source   ordering-system-windows-x64-qt-source.tar        (target windows-qt-source)
# Each file there sets its stage up at configure time; what a stage runs at build time is the
# file of the same name in windows/release/run/, which reads the values it needs from
# windows-release-values.cmake, written below into the build folder.
# The target windows-release makes all three. The checks that follow run on this machine:
# ./windows.sh runs windows/scripts/check-windows-zip.sh and check-qt-source.sh on them and
# compares them with a second build, or, signed, checks them with verify-release.sh.
# The release's names come from windows/scripts/names.txt (read by resources.cmake).
set(WINDOWS_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/scripts)
set(WINDOWS_RUN ${CMAKE_CURRENT_LIST_DIR}/release/run)
set(WINDOWS_VALUES ${CMAKE_BINARY_DIR}/windows-release-values.cmake)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

include(${CMAKE_CURRENT_LIST_DIR}/release/0-stage.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/1-folder.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/2-binaries.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/3-zip.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/4-installer.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/release/5-qt-source.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/release/values.cmake.in ${WINDOWS_VALUES} @ONLY)
add_custom_target(windows-release)
add_dependencies(windows-release windows-zip windows-installer windows-qt-source)
