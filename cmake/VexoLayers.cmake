# Each folder of src/ is one layer. Its target sees a folder's headers only
# through that folder's own include root (a build-tree directory holding one
# link to the source folder), so `#include "engine/Settings.h"` compiles only
# where the target links the engine: an include that reaches up or sideways
# fails at compile time.
function(vexo_layer target)
  get_filename_component(name ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
  vexo_target_warnings(${target})
endfunction()
