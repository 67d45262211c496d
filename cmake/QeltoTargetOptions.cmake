# Warning set shared by every target of the project.
function(qelto_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports overlapping copies inside std::string at -O2 where there are none (its bug
    # 105651), in code as plain as assigning a literal.
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(QELTO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
