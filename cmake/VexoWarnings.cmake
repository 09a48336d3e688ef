# Strict warnings for our own targets only (never for third-party code).
function(vexo_target_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
endfunction()
