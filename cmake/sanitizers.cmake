# Sanitizers apply to everything built in the tree, tests and libraries alike,
# so that instrumented and uninstrumented code never mix.
if(VELTRANE_SANITIZE AND VELTRANE_TSAN)
  message(FATAL_ERROR "AddressSanitizer and ThreadSanitizer cannot be combined")
endif()
if(VELTRANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VELTRANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(VELTRANE_FUZZ)
  # Coverage feedback from the code under test, not only from the fuzz targets.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
