# Warnings for the project's own targets (not for third-party code).
function(zarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers
    $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
endfunction()
