# Warnings and sanitizers for every target of the project: palaverlink_apply_options(target).

add_library(palaverlink_options INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(palaverlink_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
  if(PALAVERLINK_WERROR)
    target_compile_options(palaverlink_options INTERFACE -Werror)
  endif()
  if(PALAVERLINK_SANITIZE)
    target_compile_options(palaverlink_options INTERFACE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(palaverlink_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()

function(palaverlink_apply_options target)
  target_link_libraries(${target} PRIVATE palaverlink_options)
endfunction()
