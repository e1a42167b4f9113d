# Sanitizer builds. ASan+UBSan also turns on the standard library's own assertions.
if(PLENKO_SANITIZE AND PLENKO_TSAN)
  message(FATAL_ERROR "PLENKO_SANITIZE and PLENKO_TSAN cannot be combined")
endif()
if(PLENKO_SANITIZE)
  set(PLENKO_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  add_compile_options(${PLENKO_SANITIZER_FLAGS})
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
  add_link_options(${PLENKO_SANITIZER_FLAGS})
elseif(PLENKO_TSAN)
  set(PLENKO_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${PLENKO_SANITIZER_FLAGS})
  add_link_options(${PLENKO_SANITIZER_FLAGS})
endif()

# A fuzzing build instruments every library for coverage; the fuzz targets link the driver.
if(PLENKO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
