# GoogleTest and GoogleMock for a target that has no GoogleTest package of its own (the Windows
# cross-build): compiled from the sources installed on the build machine, as static libraries,
# with the usual GTest:: target names.
set(CELDOR_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources to build the test framework from")
if(NOT EXISTS ${CELDOR_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${CELDOR_GOOGLETEST_SOURCE_DIR} "
        "(scripts/install-deps --windows installs them)")
endif()

set(BUILD_SHARED_LIBS OFF)
set(BUILD_GMOCK ON)
set(INSTALL_GTEST OFF)
# The same C runtime as the programs that link it; Windows threads rather than pthreads.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
# SYSTEM: the framework's headers are not held to this project's warning options.
add_subdirectory(${CELDOR_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest
    EXCLUDE_FROM_ALL SYSTEM)

foreach(name gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${name})
        add_library(GTest::${name} ALIAS ${name})
    endif()
endforeach()
