find_package(GTest REQUIRED)
include(GoogleTest)

# bxa_add_test(NAME SOURCES src... [LIBS lib...])
# One GoogleTest executable per subsystem, linked with every subsystem (bxa_internal) and LIBS; every
# test case is registered with CTest.
function(bxa_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE bxa_internal ${ARG_LIBS} GTest::gtest GTest::gtest_main bxa_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    BXA_BINARY="$<TARGET_FILE:bxa>"
    BXA_EXECUTABLE="$<TARGET_FILE:bxa>"
    BXA_TARGET_WINDOWS=0
    BXA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# Tests that run the built binary as a process.
function(bxa_add_process_test name)
  bxa_add_test(${name} ${ARGN})
  add_dependencies(${name} bxa)
endfunction()
