# What a Windows module file (32-bit or 64-bit) carries beyond its code: a version
# resource, and the same bytes from the same sources wherever and whenever it
# is built.

# The version resource, compiled on its own: the module's compile options are
# the C++ compiler's, which the resource compiler does not take.
add_library(brelvix_resource OBJECT ${PROJECT_SOURCE_DIR}/module/brelvix.rc)
target_include_directories(brelvix_resource PRIVATE ${BRELVIX_GENERATED_DIR})
target_sources(brelvix PRIVATE $<TARGET_OBJECTS:brelvix_resource>)

# No link time in the PE header (the linker's time stamps are left zero), and
# no folder of the sources or the build in the code (file names of
# diagnostics and debug information become relative).
target_link_options(brelvix PRIVATE -Wl,--no-insert-timestamp)
foreach(target brelvix brelvix_core)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>)
endforeach()
