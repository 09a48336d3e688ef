# Each folder of src/ is one layer and one static library:
#   vexo_layer(<target> SOURCES <files> USES <targets> [PRIVATE_USES <targets>])
# Its headers are visible only through the folder's own include root (a
# build-tree directory holding one link to the source folder), so
# `#include "engine/Settings.h"` compiles only where the target uses the
# engine: an include that reaches up or sideways fails at compile time.
function(vexo_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;USES;PRIVATE_USES")
  add_library(${target} STATIC ${arg_SOURCES})
  target_link_libraries(${target} PUBLIC ${arg_USES} PRIVATE ${arg_PRIVATE_USES})
  get_filename_component(name ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
  vexo_target_warnings(${target})
endfunction()
