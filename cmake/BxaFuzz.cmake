# bxa_add_fuzzer(NAME SOURCES src... LIBS lib...)
#
# With BXA_FUZZ (clang), builds a libFuzzer executable fuzz_NAME.
# Otherwise builds replay_NAME: the same entry point driven by fuzz/replay_main.cpp, which feeds it every
# file of fuzz/corpus/NAME plus a fixed set of generated inputs, and registers that as an ordinary test.
function(bxa_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(BXA_FUZZ)
    add_executable(fuzz_${name} ${ARG_SOURCES})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
    target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/fuzz)
  elseif(BUILD_TESTING)
    add_executable(replay_${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(replay_${name} PRIVATE ${ARG_LIBS})
    target_include_directories(replay_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/fuzz)
    add_test(NAME replay_${name}
             COMMAND replay_${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  endif()
endfunction()
