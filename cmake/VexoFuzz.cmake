# vexo_add_fuzz_target(NAME SOURCES src... LIBS lib... CORPUS dir [SECONDS n])
#
# Every fuzz target exports LLVMFuzzerTestOneInput. It is always built as a
# replay program (any compiler) that feeds each corpus file to it once; that
# runs as a normal test. With VEXO_FUZZ and clang it is also built as a real
# libFuzzer binary, and a short fuzzing run over the corpus becomes a test
# labelled "fuzz".
function(vexo_add_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  if(VEXO_BUILD_TESTS)
    add_executable(${name}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/FuzzReplayMain.cpp)
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    vexo_target_warnings(${name}_replay)
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${F_CORPUS})
    set_tests_properties(${name}_replay PROPERTIES LABELS "fuzz-replay")
  endif()
  if(VEXO_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    add_test(NAME ${name}_fuzz
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
              $<TARGET_FILE:${name}> -max_total_time=${F_SECONDS} -timeout=10
              -rss_limit_mb=2048 ${work} ${F_CORPUS})
    set_tests_properties(${name}_fuzz PROPERTIES LABELS "fuzz" TIMEOUT 300
      FIXTURES_REQUIRED ${name}_corpus_dir)
    add_test(NAME ${name}_corpus_dir COMMAND ${CMAKE_COMMAND} -E make_directory ${work})
    set_tests_properties(${name}_corpus_dir PROPERTIES FIXTURES_SETUP ${name}_corpus_dir LABELS "fuzz")
  endif()
endfunction()
