# Run by CPack once the installer's files are staged: pins their times to SOURCE_DATE_EPOCH,
# which makensis stores, and writes the installer's list of them and the names the installer
# and the uninstaller go through (and their total size), in sorted order, where a recursive
# File would take the file system's order.
set(stage ${CPACK_TEMPORARY_DIRECTORY})
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${stage} ${stage}/*)
file(GLOB_RECURSE folders LIST_DIRECTORIES true RELATIVE ${stage} ${stage}/*)
list(REMOVE_ITEM folders ${files})
list(SORT files)
list(SORT folders)
execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${files} WORKING_DIRECTORY ${stage}
    COMMAND_ERROR_IS_FATAL ANY)

set(install "")
set(names "!macro INSTALLED_FILES ACTION\n")
set(bytes 0)
set(folder_now "-")
foreach(file IN LISTS files)
    get_filename_component(folder ${file} DIRECTORY)
    string(REPLACE "/" "\\" native ${file})
    string(REPLACE "/" "\\" native_folder "${folder}")
    if(NOT folder STREQUAL folder_now)
        if(folder STREQUAL "")
            string(APPEND install "  SetOutPath \"$INSTDIR\"\n")
        else()
            string(APPEND install "  SetOutPath \"$INSTDIR\\${native_folder}\"\n")
        endif()
        set(folder_now "${folder}")
    endif()
    string(APPEND install "  File \"${stage}/${file}\"\n")
    string(APPEND names "  !insertmacro \${ACTION} \"${native}\"\n")
    file(SIZE ${stage}/${file} size)
    math(EXPR bytes "${bytes} + ${size}")
endforeach()
string(APPEND names "!macroend\n!macro INSTALLED_FOLDERS ACTION\n")
# The deepest first, so that each is empty when its turn comes.
list(REVERSE folders)
foreach(folder IN LISTS folders)
    string(REPLACE "/" "\\" native ${folder})
    string(APPEND names "  !insertmacro \${ACTION} \"${native}\"\n")
endforeach()
string(APPEND names "!macroend\n!define INSTALLED_BYTES ${bytes}\n")
file(WRITE ${CPACK_TOPLEVEL_DIRECTORY}/install-files.nsh "${install}")
# The signing script beside the project, which the template runs by a relative name, with
# what it uses.
foreach(file sign-windows.sh common.sh names.txt pe-checksum.py)
    file(COPY ${CPACK_ORDERING_SCRIPTS}/${file} DESTINATION ${CPACK_TOPLEVEL_DIRECTORY})
endforeach()
file(WRITE ${CPACK_TOPLEVEL_DIRECTORY}/installed-files.nsh "${names}")
