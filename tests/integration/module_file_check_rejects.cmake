# The module file check must catch what it is there for: run on a DLL that
# imports the mingw run-time DLLs and exports a second symbol, it fails and
# names each fault; asked for the other width, it names the file's width as
# the fault (a 64-bit host cannot load a 32-bit module, nor the other way).
#
#   cmake -DOBJDUMP=<objdump> -DCHECK=<module_file_check.cmake> -DMODULE=<dll> -DWIDTH=32|64
#         -P module_file_check_rejects.cmake
cmake_minimum_required(VERSION 3.25)

if(WIDTH STREQUAL 64)
  set(libgcc libgcc_s_seh-1.dll)
  set(other_width 32)
  set(width_faults "not 50450000 4c01 (i386)" "file format is not pei-i386"
    "not a PE32 (32-bit) image")
else()
  set(WIDTH 32)
  set(libgcc libgcc_s_dw2-1.dll)
  set(other_width 64)
  set(width_faults "not 50450000 6486 (x86-64)" "file format is not pei-x86-64"
    "not a PE32+ (64-bit) image")
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${OBJDUMP}" "-DMODULE=${MODULE}" "-DWIDTH=${WIDTH}"
    -P "${CHECK}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(result EQUAL 0)
  message(FATAL_ERROR "the check accepted ${MODULE}:\n${output}${errors}")
endif()

set(missing "")
foreach(fault
    "imports ${libgcc}, a mingw run-time DLL"
    "imports libstdc++-6.dll, a mingw run-time DLL"
    "imports libwinpthread-1.dll, a mingw run-time DLL"
    "exports [_mod_descrip extraSymbol], not exactly [_mod_descrip]"
    "export address table holds '00000002' entries")
  string(FIND "${errors}" "${fault}" at)
  if(at EQUAL -1)
    list(APPEND missing "${fault}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing_text)
  message(FATAL_ERROR "the check's report lacks:\n  ${missing_text}\nIt said:\n${errors}")
endif()

execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${OBJDUMP}" "-DMODULE=${MODULE}"
    "-DWIDTH=${other_width}" -P "${CHECK}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(result EQUAL 0)
  message(FATAL_ERROR "the check took ${MODULE} for a ${other_width}-bit module:\n${output}${errors}")
endif()
foreach(fault IN LISTS width_faults)
  string(FIND "${errors}" "${fault}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "asked for ${other_width} bits, the check's report lacks '${fault}'. "
      "It said:\n${errors}")
  endif()
endforeach()
