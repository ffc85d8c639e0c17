# Cross-build for 64-bit Windows with mingw-w64 (POSIX thread model), from Linux.
#   cmake --preset windows      or      cmake -DCMAKE_TOOLCHAIN_FILE=<this file> ...
# Programs built here run under Wine through wine-run beside this file, so that CTest and
# GoogleTest discovery can start them like native ones.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CELDOR_MINGW_TRIPLET x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${CELDOR_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CELDOR_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CELDOR_MINGW_TRIPLET}-windres)
find_program(CMAKE_AR NAMES ${CELDOR_MINGW_TRIPLET}-gcc-ar-posix ${CELDOR_MINGW_TRIPLET}-ar)
find_program(CMAKE_RANLIB NAMES ${CELDOR_MINGW_TRIPLET}-gcc-ranlib-posix
    ${CELDOR_MINGW_TRIPLET}-ranlib)
find_program(CMAKE_OBJDUMP NAMES ${CELDOR_MINGW_TRIPLET}-objdump)

# Libraries, headers and packages come from the target's sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CELDOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run target programs under Wine, in a prefix of this build tree's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run --prefix ${CMAKE_BINARY_DIR}/wine-prefix)
