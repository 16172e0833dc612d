# Run by the target windows-stage (windows/release/0-stage.cmake): names the commit and its
# time, writing README.txt and windows-release-epoch.txt in the build folder.
include(${VALUES})

find_package(Git QUIET)
set(ORDERING_COMMIT "unknown")
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${WINDOWS_SOURCE_DIR} log -1 "--format=%H %ct"
        OUTPUT_VARIABLE last RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0 AND last MATCHES "^([0-9a-f]+) ([0-9]+)$")
        set(ORDERING_COMMIT ${CMAKE_MATCH_1})
        set(epoch ${CMAKE_MATCH_2})
        # Built from changes not committed, it is no release of that commit.
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${WINDOWS_SOURCE_DIR} status --porcelain
            OUTPUT_VARIABLE changes RESULT_VARIABLE status)
        if(NOT status EQUAL 0 OR NOT changes STREQUAL "")
            string(APPEND ORDERING_COMMIT "-dirty")
        endif()
    endif()
endif()
if(epoch STREQUAL "")
    message(FATAL_ERROR "Neither git nor SOURCE_DATE_EPOCH gives the time to stamp the release with")
endif()
file(WRITE ${WINDOWS_BINARY_DIR}/windows-release-epoch.txt ${epoch})

# Clear directions to the Qt source, or else a written offer of it dated by the commit.
# configure_file gives CR LF to the template's line ends, not to those inside a value.
set(release ${ORDERING_RELEASE})
execute_process(COMMAND ${WINDOWS_SCRIPTS}/sign-windows.sh --given RESULT_VARIABLE unsigned)
if(unsigned EQUAL 0)
    set(release ON)
endif()
set(development "")
set(publisher "${ORDERING_PUBLISHER}")
if(NOT ORDERING_QT_SOURCE_URL AND publisher STREQUAL "the ${WINDOWS_PRODUCT} developers")
    if(release)
        message(FATAL_ERROR "A release, signed or ORDERING_RELEASE, must say who gives the Qt "
            "source: -DORDERING_PUBLISHER='name, address' or -DORDERING_QT_SOURCE_URL=...")
    endif()
    set(development "\r\nThis is a development build, not for passing on: it names no publisher.")
elseif(NOT ORDERING_QT_SOURCE_URL AND release AND NOT publisher MATCHES "@|://|[0-9]")
    message(FATAL_ERROR "ORDERING_PUBLISHER=${publisher} gives no address (e-mail, web or "
        "postal) where a request for the Qt source would go")
endif()
if(ORDERING_QT_SOURCE_URL)
    set(QT_SOURCE_WHERE "published beside this\r\nrelease at this address:\r\n${ORDERING_QT_SOURCE_URL}")
else()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    string(TIMESTAMP release_date "%Y-%m-%d" UTC)
    string(JOIN "\r\n" QT_SOURCE_WHERE "published beside this release. If"
        "your copy came without it: for three years from ${release_date},"
        "${publisher} will give it on request to anyone who has this"
        "program, on a medium customarily used for software interchange, for no more"
        "than the cost of making the copy.${development}")
endif()
# The text was wrapped with the name across a line's end in two places: there it breaks at
# the name's first space.
string(REGEX REPLACE "^([^ ]*) " "\\1\r\n" WINDOWS_PRODUCT_WRAPPED "${WINDOWS_PRODUCT}")
configure_file(${WINDOWS_SOURCE_DIR}/windows/README.txt.in ${WINDOWS_BINARY_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
