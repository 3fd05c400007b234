# Reads the version resource back out of a built brelvix.p with the cross
# toolchain's resource compiler, and checks it against the project's version:
# the numeric file and product versions, and the texts Windows shows in the
# file's properties. Runs natively, so it holds also where Wine cannot run.
#
#   cmake -DWINDRES=... -DMODULE=brelvix.p -DVERSION=0.1.5 -P version_resource_check.cmake
foreach(variable WINDRES MODULE VERSION)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "version_resource_check: ${variable} not set")
  endif()
endforeach()

execute_process(COMMAND ${WINDRES} -J coff -i ${MODULE} -O rc
  OUTPUT_VARIABLE resource ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${WINDRES} could not read the resources of ${MODULE}: ${errors}")
endif()

string(REPLACE "." ", " numbers "${VERSION}")
set(expected
  "1 VERSIONINFO"
  " FILEVERSION ${numbers}, 0"
  " PRODUCTVERSION ${numbers}, 0"
  " FILETYPE 0x2"
  "VALUE \"FileVersion\", \"${VERSION}\""
  "VALUE \"ProductVersion\", \"${VERSION}\""
  "VALUE \"ProductName\", \"Brelvix\""
  "VALUE \"OriginalFilename\", \"brelvix.p\""
  "VALUE \"FileDescription\", \""
  "VALUE \"LegalCopyright\", \"Copyright")
foreach(line IN LISTS expected)
  string(FIND "${resource}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${MODULE}: the version resource lacks '${line}'; it reads:\n${resource}")
  endif()
endforeach()
