# BRELVIX_SANITIZE applies to every target, the module included, so that the
# tests that load it check it as well.
if(BRELVIX_SANITIZE)
  add_compile_options(-fsanitize=${BRELVIX_SANITIZE} -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${BRELVIX_SANITIZE})
endif()
