# celdor_import_library(TARGET DEF DLL [DELAYED]): an INTERFACE target that links the import
# library dlltool makes from DEF for DLL (relative DEF paths are from the calling folder).
# DELAYED makes a delay-load library: DLL is then loaded when one of its functions is first
# called, not with the program.
function(celdor_import_library target def dll)
    cmake_parse_arguments(PARSE_ARGV 3 arg "DELAYED" "" "")
    find_program(CELDOR_DLLTOOL NAMES ${CMAKE_DLLTOOL} x86_64-w64-mingw32-dlltool REQUIRED)
    set(library ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
    set(kind --output-lib)
    if(arg_DELAYED)
        set(kind --output-delaylib)
    endif()
    add_custom_command(OUTPUT ${library}
        COMMAND ${CELDOR_DLLTOOL} --input-def ${CMAKE_CURRENT_SOURCE_DIR}/${def}
            --dllname ${dll} ${kind} ${library}
        DEPENDS ${def})
    add_custom_target(${target}_file DEPENDS ${library})
    add_library(${target} INTERFACE)
    add_dependencies(${target} ${target}_file)
    target_link_libraries(${target} INTERFACE ${library})
endfunction()
