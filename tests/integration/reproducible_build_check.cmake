# Builds the release module (preset PRESET, by default windows-release; the
# 64-bit one is windows64-release) twice, from two copies of
# the sources in folders of different names and depths, one build after the
# other, and checks that the two files are the same bytes, and the same as the
# module built by the calling build (MODULE): a file that a studio rebuilds
# from the sources must be the very file it was given. Neither file may
# contain the folders it was built in.
#
#   cmake -DSOURCE=<repository> -DWORK=<scratch folder> [-DPRESET=<preset>] [-DMODULE=<brelvix.p>]
#         -P reproducible_build_check.cmake
cmake_minimum_required(VERSION 3.25)

foreach(variable SOURCE WORK)
  if(NOT ${variable})
    message(FATAL_ERROR "reproducible_build_check: set ${variable}")
  endif()
endforeach()

if(NOT PRESET)
  set(PRESET windows-release)
endif()

file(REMOVE_RECURSE "${WORK}")
set(copies "${WORK}/a" "${WORK}/second/copy-of-the-sources")
set(modules "")
foreach(copy IN LISTS copies)
  file(MAKE_DIRECTORY "${copy}")
  # Everything but builds, releases and the repository's history.
  file(COPY "${SOURCE}/" DESTINATION "${copy}"
    REGEX "^${SOURCE}/(build|dist|\\.git)$" EXCLUDE)
  foreach(step "--preset;${PRESET}" "--build;--preset;${PRESET}")
    execute_process(COMMAND "${CMAKE_COMMAND}" ${step} WORKING_DIRECTORY "${copy}"
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "reproducible_build_check: cmake ${step} in ${copy} failed:\n${output}")
    endif()
  endforeach()
  set(module "${copy}/build/${PRESET}/brelvix.p")
  # The folder names must not be in the file: the build maps them away.
  file(STRINGS "${module}" leaks REGEX "${WORK}")
  if(leaks)
    message(FATAL_ERROR "reproducible_build_check: ${module} names its build folder: ${leaks}")
  endif()
  list(APPEND modules "${module}")
endforeach()
if(MODULE)
  list(APPEND modules "${MODULE}")
endif()

list(GET modules 0 first)
file(SHA256 "${first}" first_hash)
foreach(module IN LISTS modules)
  file(SHA256 "${module}" hash)
  if(NOT hash STREQUAL first_hash)
    execute_process(COMMAND cmp "${first}" "${module}" OUTPUT_VARIABLE difference)
    message(FATAL_ERROR "reproducible_build_check: ${module} differs from ${first}: ${difference}")
  endif()
endforeach()
file(SIZE "${first}" size)
list(LENGTH modules count)
message(STATUS "${count} builds of brelvix.p (${PRESET}), ${size} bytes, SHA-256 ${first_hash}")
file(REMOVE_RECURSE "${WORK}")
