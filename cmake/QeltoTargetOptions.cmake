# Warning set shared by every target of the project.
function(qelto_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(QELTO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
