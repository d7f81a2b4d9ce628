# Reads a DLL's export and import tables with objdump and fails unless the DLL exports exactly the
# names in EXPORTS and imports only from system DLLs or from the libraries named in ALSO_IMPORTS.
#
# cmake -DOBJDUMP=... -DDLL=... "-DEXPORTS=A;B" ["-DALSO_IMPORTS=x.dll"] -P check_dll_tables.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP DLL EXPORTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}"
  OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE dump_result TIMEOUT 60)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "objdump -p ${DLL} failed: ${dump_error}")
endif()
string(REPLACE "\r" "" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

# Exported names are the lines of the name pointer table: "\t[   0] Plugin_Init".
set(exported "")
set(in_names FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND exported "${CMAKE_MATCH_1}")
  elseif(in_names)
    set(in_names FALSE)
  endif()
endforeach()

set(imported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" name)
    list(APPEND imported "${name}")
  endif()
endforeach()

# What every Windows installation provides; the compiler's runtime DLLs (libstdc++-6.dll,
# libgcc_s_seh-1.dll, libwinpthread-1.dll) are not among them.
set(system_dlls
  kernel32.dll msvcrt.dll ntdll.dll advapi32.dll user32.dll gdi32.dll shell32.dll ole32.dll
  oleaut32.dll ws2_32.dll bcrypt.dll crypt32.dll secur32.dll shlwapi.dll version.dll winmm.dll
  ucrtbase.dll)
set(allowed ${system_dlls})
foreach(name IN LISTS ALSO_IMPORTS)
  string(TOLOWER "${name}" name)
  list(APPEND allowed "${name}")
endforeach()

set(problems "")
set(wanted ${EXPORTS})
list(SORT wanted)
set(found ${exported})
list(SORT found)
if(NOT found STREQUAL wanted)
  string(APPEND problems "exports are [${exported}], expected exactly [${EXPORTS}]\n")
endif()
if(imported STREQUAL "")
  string(APPEND problems "no import table found\n")
endif()
foreach(name IN LISTS imported)
  if(NOT name IN_LIST allowed AND NOT name MATCHES "^api-ms-win-")
    string(APPEND problems "imports ${name}, which is not a system DLL\n")
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "${DLL}:\n${problems}")
endif()
message(STATUS "${DLL}: exports [${exported}], imports [${imported}]")
