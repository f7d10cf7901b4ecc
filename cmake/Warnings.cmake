# Warnings as errors on every target of the project.
add_library(tavrfndl_warnings INTERFACE)
if(MSVC)
  target_compile_options(tavrfndl_warnings INTERFACE /W4 /WX /permissive-)
else()
  target_compile_options(tavrfndl_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wformat=2 -Werror)
endif()
