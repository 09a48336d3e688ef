# Fails when a source under src/, libs/ or tools/ includes a header through a
# parent folder ("../"): such an include reaches past the layer's include
# roots, which only stop the plain form.
#   cmake -DROOT=<source dir> -P CheckIncludes.cmake
if(NOT ROOT)
  message(FATAL_ERROR "ROOT not set")
endif()
set(found "")
foreach(dir src libs tools)
  file(GLOB_RECURSE files LIST_DIRECTORIES false
    ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.hpp ${ROOT}/${dir}/*.c ${ROOT}/${dir}/*.cpp)
  foreach(f IN LISTS files)
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][.][.][/\\\\]")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH rel ${ROOT} ${f})
      string(APPEND found "  ${rel}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "Includes through a parent folder:\n${found}")
endif()
