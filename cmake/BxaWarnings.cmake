# Warnings live here, in one place, for every target of the project.
add_library(bxa_warnings INTERFACE)
target_compile_options(bxa_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wcast-qual -Wformat=2 -Wundef -Wnon-virtual-dtor -Wold-style-cast)
if(BXA_WERROR)
  target_compile_options(bxa_warnings INTERFACE -Werror)
endif()
