# The test suites of the Windows builds, 32-bit and 64-bit: GoogleTest
# compiled for the target from its sources, and every test program run under
# Wine (64-bit Wine for the 64-bit build).

set(BRELVIX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
  "GoogleTest sources, compiled for the target in a cross build")
if(NOT EXISTS ${BRELVIX_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${BRELVIX_GTEST_SOURCE_DIR} "
    "(Debian package googletest, installed by scripts/setup.sh)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${BRELVIX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Wine runs 32-bit Windows programs as 32-bit Linux processes. On a kernel
# without 32-bit support the test programs are still built, and the checks
# that read the module file still run, but nothing is run under Wine.
option(BRELVIX_WINE_TESTS "Register the Windows test programs, to be run under Wine" ON)

# Test programs, test discovery included, run through Wine in a prefix of the
# build's own, so that builds and runs side by side do not disturb each other.
# Test discovery takes the emulator as one command, so the build gets a
# wrapper that names its prefix (and, for the 64-bit build, 64-bit Wine).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(BRELVIX_WINDOWS_WIDTH 64)
  set(BRELVIX_WINE_ARCH_OPTION "--win64 ")
  set(BRELVIX_RELEASE_PRESET windows64-release)
else()
  set(BRELVIX_WINDOWS_WIDTH 32)
  set(BRELVIX_WINE_ARCH_OPTION "")
  set(BRELVIX_RELEASE_PRESET windows-release)
endif()
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(BRELVIX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run CONTENT [[#!/bin/sh
exec '@PROJECT_SOURCE_DIR@/cmake/wine-run.sh' @BRELVIX_WINE_ARCH_OPTION@'@BRELVIX_WINE_PREFIX@' "$@"
]] @ONLY)
  file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# The module file as a user's machine sees it: a DLL of the build's width with
# the one export and imports of Windows' own DLLs only. The check runs
# natively on the file, with the cross toolchain's objdump.
if(NOT CMAKE_OBJDUMP)
  message(FATAL_ERROR "No objdump for the target (binutils-mingw-w64-i686 or -x86-64)")
endif()
set(BRELVIX_MODULE_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/integration/module_file_check.cmake)
add_test(NAME ModuleFile.WindowsDllExportsTheDescriptorAndImportsSystemDllsOnly
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DMODULE=$<TARGET_FILE:brelvix>
    -DWIDTH=${BRELVIX_WINDOWS_WIDTH} -P ${BRELVIX_MODULE_CHECK})

# The check itself, on a DLL that has the faults it looks for. The compiler's
# defaults link the run-times as DLLs; the build's own flags would not.
set(counterexample_source ${CMAKE_CURRENT_SOURCE_DIR}/support/runtime_importing_module.cpp)
set(counterexample ${CMAKE_CURRENT_BINARY_DIR}/runtime_importing_module.dll)
add_custom_command(OUTPUT ${counterexample}
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -shared -o ${counterexample} ${counterexample_source}
  DEPENDS ${counterexample_source} VERBATIM)
add_custom_target(brelvix_module_check_counterexample ALL DEPENDS ${counterexample})
add_test(NAME ModuleFile.CheckRejectsRunTimeDllsAndExtraExports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DMODULE=${counterexample}
    -DWIDTH=${BRELVIX_WINDOWS_WIDTH} -DCHECK=${BRELVIX_MODULE_CHECK} -P ${CMAKE_CURRENT_SOURCE_DIR}/integration/module_file_check_rejects.cmake)

# The module's bytes come from its sources alone: the release module built
# twice, from copies of the sources in two folders, one build after the
# other, and compared with each other and with this build's module.
add_test(NAME ModuleFile.ReleaseBuildIsReproducible
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DWORK=${CMAKE_BINARY_DIR}/reproducible
    -DPRESET=${BRELVIX_RELEASE_PRESET} -DMODULE=$<TARGET_FILE:brelvix>
    -P ${CMAKE_CURRENT_SOURCE_DIR}/integration/reproducible_build_check.cmake)
set_tests_properties(ModuleFile.ReleaseBuildIsReproducible PROPERTIES TIMEOUT 900)

# The version resource as the file carries it, read back natively (the
# version API's view of it is checked under Wine by brelvix_version_tests).
add_test(NAME ModuleFile.VersionResourceCarriesTheProjectVersion
  COMMAND ${CMAKE_COMMAND} -DWINDRES=${CMAKE_RC_COMPILER} -DMODULE=$<TARGET_FILE:brelvix>
    -DVERSION=${PROJECT_VERSION}
    -P ${CMAKE_CURRENT_SOURCE_DIR}/integration/version_resource_check.cmake)
