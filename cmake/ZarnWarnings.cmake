# Warnings for the project's own targets (not for third-party code).
function(zarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow=local -Wno-missing-field-initializers)
endfunction()
