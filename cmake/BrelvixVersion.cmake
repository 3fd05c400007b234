# The module's version header, generated from the project's version (the one
# place the version is kept) into the build's own folder. Sources include it
# as "interface/version.h" with BRELVIX_GENERATED_DIR on their include path.
set(BRELVIX_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/interface/version.h.in
  ${BRELVIX_GENERATED_DIR}/interface/version.h @ONLY)
