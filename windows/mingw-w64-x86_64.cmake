# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads, which Qt needs).
# The Qt for Windows is found through ORDERING_WINDOWS_QT, the prefix scripts/windows-toolkit.sh
# installs it in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
if(ORDERING_WINDOWS_QT)
    list(APPEND CMAKE_FIND_ROOT_PATH ${ORDERING_WINDOWS_QT})
    list(APPEND CMAKE_PREFIX_PATH ${ORDERING_WINDOWS_QT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
