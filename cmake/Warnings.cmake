# Compiler warnings shared by every target of the project.
add_library(labdocs_warnings INTERFACE)
target_compile_options(labdocs_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
  $<$<BOOL:${LABDOCS_WERROR}>:-Werror>)
