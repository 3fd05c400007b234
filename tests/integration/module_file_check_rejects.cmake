# The module file check must catch what it is there for: run on a DLL that
# imports the mingw run-time DLLs and exports a second symbol, it fails and
# names each fault.
#
#   cmake -DOBJDUMP=<objdump> -DCHECK=<module_file_check.cmake> -DMODULE=<dll> -P module_file_check_rejects.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${OBJDUMP}" "-DMODULE=${MODULE}" -P "${CHECK}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(result EQUAL 0)
  message(FATAL_ERROR "the check accepted ${MODULE}:\n${output}${errors}")
endif()

set(missing "")
foreach(fault
    "imports libgcc_s_dw2-1.dll, a mingw run-time DLL"
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
