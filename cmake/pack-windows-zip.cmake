# Packs the Windows folder reproducibly: README.txt names the commit, the binaries are
# stripped with the commit's time in their headers, and the zip holds nothing that differs
# between two builds of one commit. Beside it, the Qt source archive: the source of the Qt
# libraries in the zip, stamped with the time that build used.
find_package(Git QUIET)
set(ORDERING_COMMIT "unknown")
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} log -1 "--format=%H %ct"
        OUTPUT_VARIABLE last RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0 AND last MATCHES "^([0-9a-f]+) ([0-9]+)$")
        set(ORDERING_COMMIT ${CMAKE_MATCH_1})
        set(epoch ${CMAKE_MATCH_2})
        # Built from changes not committed, it is no release of that commit.
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain
            OUTPUT_VARIABLE changes RESULT_VARIABLE status)
        if(NOT status EQUAL 0 OR NOT changes STREQUAL "")
            string(APPEND ORDERING_COMMIT "-dirty")
        endif()
    endif()
endif()
if(epoch STREQUAL "")
    message(FATAL_ERROR "Neither git nor SOURCE_DATE_EPOCH gives the time to stamp the zip with")
endif()

# The installer's programs are stripped with the same time.
file(WRITE ${BINARY_DIR}/windows-release-epoch.txt ${epoch})
# Clear directions to the Qt source, or else a written offer of it dated by the commit.
# configure_file gives CR LF to the template's line ends, not to those inside a value.
set(release ${RELEASE})
if(NOT "$ENV{ORDERING_SIGN_PKCS12}$ENV{ORDERING_SIGN_PKCS11_MODULE}" STREQUAL "")
    set(release ON)
endif()
set(development "")
if(NOT QT_SOURCE_URL AND PUBLISHER STREQUAL "the Ordering System developers")
    if(release)
        message(FATAL_ERROR "A release, signed or ORDERING_RELEASE, must say who gives the Qt "
            "source: -DORDERING_PUBLISHER='name, address' or -DORDERING_QT_SOURCE_URL=...")
    endif()
    set(development "\r\nThis is a development build, not for passing on: it names no publisher.")
elseif(NOT QT_SOURCE_URL AND release AND NOT PUBLISHER MATCHES "@|://|[0-9]")
    message(FATAL_ERROR "ORDERING_PUBLISHER=${PUBLISHER} gives no address (e-mail, web or "
        "postal) where a request for the Qt source would go")
endif()
if(QT_SOURCE_URL)
    set(QT_SOURCE_WHERE "published beside this\r\nrelease at this address:\r\n${QT_SOURCE_URL}")
else()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    string(TIMESTAMP release_date "%Y-%m-%d" UTC)
    string(JOIN "\r\n" QT_SOURCE_WHERE "published beside this release. If"
        "your copy came without it: for three years from ${release_date},"
        "${PUBLISHER} will give it on request to anyone who has this"
        "program, on a medium customarily used for software interchange, for no more"
        "than the cost of making the copy.${development}")
endif()
configure_file(${SOURCE_DIR}/windows/README.txt.in ${BINARY_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
# strip writes this time into each header it rewrites, instead of the time of day.
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
set(stage ${BINARY_DIR}/windows-zip-stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --config ${CONFIG}
        --prefix ${stage}/${FOLDER}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/scripts/pack-folder.py ${stage} ${FOLDER} ${ZIP}
        ${epoch}
    COMMAND_ERROR_IS_FATAL ANY)
# Its bill of materials goes beside it too, for a shop's IT to read before unpacking.
configure_file(${stage}/${FOLDER}/ordering-system.spdx.json ${SBOM} COPYONLY)

file(STRINGS ${QT_SOURCE}/SOURCE.txt qt_epoch REGEX "SOURCE_DATE_EPOCH=[0-9]+$")
string(REGEX REPLACE ".*=" "" qt_epoch "${qt_epoch}")
if(qt_epoch STREQUAL "")
    message(FATAL_ERROR "${QT_SOURCE}/SOURCE.txt names no SOURCE_DATE_EPOCH")
endif()
get_filename_component(source_folder ${QT_SOURCE_TAR} NAME_WE)
set(stage ${BINARY_DIR}/windows-qt-source-stage)
file(REMOVE_RECURSE ${stage})
file(COPY ${QT_SOURCE}/ DESTINATION ${stage}/${source_folder})
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/scripts/pack-folder.py ${stage} ${source_folder}
        ${QT_SOURCE_TAR} ${qt_epoch}
    COMMAND_ERROR_IS_FATAL ANY)
