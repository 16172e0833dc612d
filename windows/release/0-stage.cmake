# Stage 0, the facts of the release that the zip and the installer share: the commit it is
# built from, the time stamped on every file, and README.txt, which names both and tells where
# the Qt source is. Run at each build by the target windows-stage (run/0-stage.cmake), since
# the commit changes without CMake knowing.

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
    COMMAND ${CMAKE_COMMAND} -DVALUES=${WINDOWS_VALUES} -P ${WINDOWS_RUN}/0-stage.cmake
    COMMENT "Naming the commit and its time in README.txt"
    VERBATIM)
