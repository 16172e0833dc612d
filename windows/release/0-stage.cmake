# Stage 0, the facts of the release that the zip and the installer share: the commit it is
# built from, the time stamped on every file, and README.txt, which names both and tells where
# the Qt source is. Run at each build by the target windows-stage, since the commit changes
# without CMake knowing; it writes README.txt and windows-release-epoch.txt in the build folder.
if(NOT CMAKE_SCRIPT_MODE_FILE)
    # Whoever passes the release on must tell where the Qt source is, or offer it in writing.
    # A release (signed, or ORDERING_RELEASE) must name its publisher with an address, or the
    # source's address; a development build keeps the default and says it is not for passing
    # on. Both are taken from the environment too, so that ./windows.sh's second build, which
    # must write the same README.txt, has them.
    set(publisher "the ${WINDOWS_PRODUCT} developers")
    if(DEFINED ENV{ORDERING_PUBLISHER})
        set(publisher "$ENV{ORDERING_PUBLISHER}")
    endif()
    set(ORDERING_PUBLISHER "${publisher}" CACHE STRING
        "The publisher of the Windows release, with an address: the installer's publisher and \
where README.txt's written offer of the Qt source sends a request")
    set(ORDERING_QT_SOURCE_URL "$ENV{ORDERING_QT_SOURCE_URL}" CACHE STRING
        "Where the Qt source archive is published; README.txt quotes it, else offers it in writing")
    option(ORDERING_RELEASE "A build for publishing, signed or not: it needs ORDERING_PUBLISHER \
with an address, or ORDERING_QT_SOURCE_URL" OFF)
    add_custom_target(windows-stage
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBINARY_DIR=${CMAKE_BINARY_DIR}
                -DFOLDER=${WINDOWS_FOLDER} "-DPRODUCT=${WINDOWS_PRODUCT}"
                -DORDERING_VERSION=${ORDERING_VERSION} -DQT_VERSION=${Qt6_VERSION}
                "-DQT_SOURCE_URL=${ORDERING_QT_SOURCE_URL}" "-DPUBLISHER=${ORDERING_PUBLISHER}"
                -DRELEASE=${ORDERING_RELEASE} -P ${CMAKE_CURRENT_LIST_FILE}
        COMMENT "Naming the commit and its time in README.txt"
        VERBATIM)
    return()
endif()

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
    message(FATAL_ERROR "Neither git nor SOURCE_DATE_EPOCH gives the time to stamp the release with")
endif()
file(WRITE ${BINARY_DIR}/windows-release-epoch.txt ${epoch})

# Clear directions to the Qt source, or else a written offer of it dated by the commit.
# configure_file gives CR LF to the template's line ends, not to those inside a value.
set(release ${RELEASE})
if(NOT "$ENV{ORDERING_SIGN_PKCS12}$ENV{ORDERING_SIGN_PKCS11_MODULE}" STREQUAL "")
    set(release ON)
endif()
set(development "")
if(NOT QT_SOURCE_URL AND PUBLISHER STREQUAL "the ${PRODUCT} developers")
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
