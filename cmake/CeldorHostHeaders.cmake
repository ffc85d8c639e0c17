# Header-only packages for a cross-build, taken from the build machine.
#
# CLI11 and nlohmann-json are plain C++ headers, so the copies installed on the build machine
# serve any target. They live in the build machine's /usr/include, which a cross-compiler must
# not search: its C library headers would shadow the target's. So each package's folder alone is
# linked into a folder of this build tree, and that folder becomes the include path of an
# imported target with the package's usual name.
function(celdor_host_header_package target header)
    if(TARGET ${target})
        return()
    endif()
    string(MAKE_C_IDENTIFIER "${target}" id)
    find_path(CELDOR_HOST_${id}_DIR ${header} PATHS /usr/local/include /usr/include
        NO_CMAKE_FIND_ROOT_PATH REQUIRED
        DOC "Build-machine include folder that holds ${header}")
    string(REGEX MATCH "^[^/]+" top "${header}")
    set(staged ${CMAKE_BINARY_DIR}/host-headers/${id})
    file(MAKE_DIRECTORY ${staged})
    if(NOT EXISTS ${staged}/${top})
        file(CREATE_LINK ${CELDOR_HOST_${id}_DIR}/${top} ${staged}/${top} SYMBOLIC COPY_ON_ERROR)
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staged})
endfunction()

celdor_host_header_package(CLI11::CLI11 CLI/CLI.hpp)
celdor_host_header_package(nlohmann_json::nlohmann_json nlohmann/json.hpp)
