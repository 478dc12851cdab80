cmake_minimum_required(VERSION 3.25)
# Reads measure.dll's tables with objdump -p: the export directory must name
# the module Measure.dll and list exactly the exports of cmake/exports.txt,
# undecorated; the import directory may name Windows system DLLs only (the C
# and C++ runtimes are linked in statically).
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump -p ${DLL} failed")
endif()

if(NOT dump MATCHES "\nName[ \t]+[0-9a-f]+ Measure\\.dll\n")
  message(FATAL_ERROR "the export table does not name the module Measure.dll")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]*\\[ *[0-9]+\\] [^\n]+\n)+)" names "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
set(exported)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exported "${name}")
endforeach()
file(STRINGS ${EXPORTS} expected)
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports differ from cmake/exports.txt\n  exported: ${exported}\n  expected: ${expected}")
endif()

set(system_dlls kernel32.dll user32.dll gdi32.dll shell32.dll advapi32.dll ole32.dll oleaut32.dll
    combase.dll winmm.dll ws2_32.dll setupapi.dll msvcrt.dll ucrtbase.dll bcrypt.dll crypt32.dll
    secur32.dll iphlpapi.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "no import table found")
endif()
foreach(entry IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
    message(FATAL_ERROR "measure.dll imports ${dll}, which is not a Windows system DLL")
  endif()
endforeach()
list(LENGTH exported count)
message(STATUS "Measure.dll: ${count} exports; imports ${imports}")
