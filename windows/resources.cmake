# The release's names, kept once for CMake and the scripts alike in a plain key=value file.
set(names_file ${CMAKE_CURRENT_LIST_DIR}/scripts/names.txt)
file(STRINGS ${names_file} names REGEX "^[a-z][a-z_]*=")
foreach(line IN LISTS names)
    string(REGEX MATCH "^([a-z_]+)=(.*)$" line "${line}")
    string(TOUPPER ${CMAKE_MATCH_1} name)
    set(WINDOWS_${name} "${CMAKE_MATCH_2}")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${names_file})
set_target_properties(ordering-system PROPERTIES OUTPUT_NAME ${WINDOWS_PROGRAM})

# The program's icon, version information and manifest, as Windows shows them.
set(ORDERING_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0)
set(ORDERING_VERSION_PATCH 0)
set(ORDERING_ICON ${PROJECT_SOURCE_DIR}/picture/ordering-system.ico)
set(manifest ${CMAKE_CURRENT_BINARY_DIR}/ordering-system.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ordering-system.manifest.in ${manifest} @ONLY)
if(MSVC)
    # Microsoft's linker merges a manifest given as a source into the one it embeds.
    set(ORDERING_MANIFEST_RESOURCE "")
    target_sources(ordering-system PRIVATE ${manifest})
else()
    # CREATEPROCESS_MANIFEST_RESOURCE_ID of type RT_MANIFEST
    set(ORDERING_MANIFEST_RESOURCE "1 24 \"${manifest}\"")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ordering-system.rc.in ordering-system.rc @ONLY)
target_sources(ordering-system PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/ordering-system.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/ordering-system.rc APPEND PROPERTY
    OBJECT_DEPENDS ${ORDERING_ICON} ${manifest})
