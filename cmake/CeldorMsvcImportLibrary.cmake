# cmake -DDLLTOOL=llvm-dlltool -DEXPORTS=all.def -DDEF=c.def -DLIBRARY=Celdor.lib -DDLL=Celdor.dll
#       -P CeldorMsvcImportLibrary.cmake
#
# The import library of Celdor's C interface for linkers of the MSVC kind (link.exe, lld-link):
# the C functions (celdor_*) of the DLL's export list EXPORTS, which the linker wrote while it
# made the DLL, go into the module-definition file DEF, and llvm-dlltool makes LIBRARY from it.
# The C++ exports are left out: their names and layouts are MinGW's, of no use to those hosts.
cmake_minimum_required(VERSION 3.25)

foreach(var DLLTOOL EXPORTS DEF LIBRARY DLL)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "CeldorMsvcImportLibrary.cmake: ${var} is not set")
    endif()
endforeach()

file(STRINGS ${EXPORTS} lines)
set(functions)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(celdor_[A-Za-z0-9_]+)([ \t@]|$)")
        list(APPEND functions "    ${CMAKE_MATCH_1}")
    endif()
endforeach()
if(NOT functions)
    message(FATAL_ERROR "${EXPORTS} lists no function of the C interface")
endif()
list(JOIN functions "\n" body)
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n${body}\n")

execute_process(COMMAND ${DLLTOOL} -m i386:x86-64 -d ${DEF} -D ${DLL} -l ${LIBRARY}
    RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${DLLTOOL} failed: ${error}")
endif()
