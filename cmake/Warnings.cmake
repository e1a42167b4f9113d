# Every target of the project compiles warning-free with -Wall -Wextra; CI adds -Werror.
add_compile_options(-Wall -Wextra)
if(PLENKO_WERROR)
  add_compile_options(-Werror)
endif()
