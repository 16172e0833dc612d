# Each program and library the Windows folder ships gets its padding and true PE checksum
# and, when a certificate is given, a signature (scripts/sign-windows.sh), after stripping
# and before the zip or the installer takes it. A file is signed once per build folder: the
# zip and the installer carry the same signed bytes. The installer, the uninstaller it
# writes and the NSIS plugins it unpacks and loads get the same from cmake/NSIS.template.in.
set(ORDERING_SIGN ${CMAKE_SOURCE_DIR}/scripts/sign-windows.sh)
install(CODE "
    file(GLOB_RECURSE binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\"
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    list(SORT binaries)
    execute_process(COMMAND \"${ORDERING_SIGN}\" --reuse \"${CMAKE_BINARY_DIR}/windows-signed\"
            \${binaries}
        COMMAND_ERROR_IS_FATAL ANY)")
set(CPACK_ORDERING_SIGN ${ORDERING_SIGN})
