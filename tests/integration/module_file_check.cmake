# Checks a built Windows module file as the host and a user's machine see it:
#   - a DLL of the width asked for: WIDTH 32 (the default) a 32-bit x86 DLL
#     (PE32, machine 014c, file format pei-i386), WIDTH 64 an x86-64 DLL
#     (PE32+, machine 8664, file format pei-x86-64); a host loads only DLLs of
#     its own width;
#   - one export, `_mod_descrip`, under exactly that name;
#   - imports from Windows' own DLLs only: a mingw run-time DLL (libgcc_s_*,
#     libstdc++-*, libwinpthread-*) would be missing on a user's machine, and
#     the host would fail to load the module.
#
#   cmake -DOBJDUMP=<the target's objdump> -DMODULE=<brelvix.p> [-DWIDTH=32|64]
#         -P module_file_check.cmake
cmake_minimum_required(VERSION 3.25)

foreach(variable OBJDUMP MODULE)
  if(NOT ${variable})
    message(FATAL_ERROR "module_file_check: set ${variable}")
  endif()
endforeach()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "module_file_check: no file ${MODULE}")
endif()
if(NOT WIDTH)
  set(WIDTH 32)
endif()
# The machine field as the file's bytes hold it, objdump's name of the format,
# and the optional header's magic.
if(WIDTH STREQUAL 32)
  set(machine_bytes 4c01)
  set(machine_text "4c01 (i386)")
  set(format pei-i386)
  set(magic "010b[\t ]+\\(PE32\\)")
  set(magic_text "a PE32 (32-bit) image")
elseif(WIDTH STREQUAL 64)
  set(machine_bytes 6486)
  set(machine_text "6486 (x86-64)")
  set(format pei-x86-64)
  set(magic "020b[\t ]+\\(PE32\\+\\)")
  set(magic_text "a PE32+ (64-bit) image")
else()
  message(FATAL_ERROR "module_file_check: WIDTH is 32 or 64, not '${WIDTH}'")
endif()

# DLLs that every Windows installation has.
set(system_dlls
  kernel32.dll msvcrt.dll ntdll.dll user32.dll gdi32.dll advapi32.dll shell32.dll
  ole32.dll oleaut32.dll ws2_32.dll ucrtbase.dll)

set(problems "")

# The machine field of the COFF header, read from the file itself: the PE
# header starts at the offset stored at 0x3c, "PE\0\0" then the machine.
file(READ "${MODULE}" pe_offset OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" pe_offset "${pe_offset}")
math(EXPR pe_offset "0x${pe_offset}")
file(READ "${MODULE}" pe_header OFFSET ${pe_offset} LIMIT 6 HEX)
if(NOT pe_header STREQUAL "50450000${machine_bytes}")
  list(APPEND problems "PE signature and machine are ${pe_header}, not 50450000 ${machine_text}")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}"
  RESULT_VARIABLE result OUTPUT_VARIABLE dump ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "module_file_check: ${OBJDUMP} -p ${MODULE} failed: ${errors}")
endif()

if(NOT dump MATCHES "file format ${format}\n")
  list(APPEND problems "file format is not ${format}")
endif()
if(NOT dump MATCHES "\nMagic[\t ]+${magic}\n")
  list(APPEND problems "not ${magic_text}")
endif()
if(NOT dump MATCHES "\nCharacteristics 0x[0-9a-f]+\n([\t][^\n]*\n)*\tDLL\n")
  list(APPEND problems "not marked as a DLL")
endif()

# Exports: the named entries of the export table, and how many entries the
# address table holds (an export by ordinal only has no name). Imports: the
# DLLs of the import table.
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]*" export_lines "${dump}")
set(exports "")
foreach(line IN LISTS export_lines)
  if(line MATCHES "^\t\\[ *[0-9]+\\] ([^ \t]+)$") # not "+base[...] ... Export RVA"
    list(APPEND exports "${CMAKE_MATCH_1}")
  endif()
endforeach()
string(REGEX MATCHALL "\tDLL Name: [^\n]+" import_lines "${dump}")
set(imports "")
foreach(line IN LISTS import_lines)
  string(REGEX REPLACE "^\tDLL Name: " "" name "${line}")
  list(APPEND imports "${name}")
endforeach()
if(NOT exports STREQUAL "_mod_descrip")
  list(JOIN exports " " export_text)
  list(APPEND problems "exports [${export_text}], not exactly [_mod_descrip]")
endif()
string(REGEX MATCH "\tExport Address Table[\t ]+([0-9a-f]+)\n" address_table "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL "00000001")
  list(APPEND problems "export address table holds '${CMAKE_MATCH_1}' entries, not 1")
endif()

foreach(name IN LISTS imports)
  string(TOLOWER "${name}" lower)
  if(lower MATCHES "^(libgcc|libstdc\\+\\+|libwinpthread)")
    list(APPEND problems "imports ${name}, a mingw run-time DLL that a user's machine lacks")
  elseif(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
    list(APPEND problems "imports ${name}, which is not one of Windows' own DLLs")
  endif()
endforeach()
string(TOLOWER "${imports}" lower_imports)
if(NOT "kernel32.dll" IN_LIST lower_imports)
  list(APPEND problems "no import of KERNEL32.dll found: the import table was not read")
endif()

file(SIZE "${MODULE}" size)
list(JOIN exports " " export_text)
list(JOIN imports " " import_text)
set(summary "${MODULE}: ${size} bytes, exports: ${export_text}, imports: ${import_text}")
if(problems)
  list(JOIN problems "\n  " problem_text)
  message(FATAL_ERROR "${summary}\n  ${problem_text}")
endif()
message(STATUS "${summary}")
