# Helpers that add a GoogleTest executable, a libFuzzer target and a benchmark in one line each.
include(GoogleTest)

# quimbrel_add_test(NAME name SOURCES ... LIBS ... LABELS unit|integration|gui [TIMEOUT s] [ENV VAR=value ...])
function(quimbrel_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT QUIMBREL_BUILD_TESTS)
    return()
  endif()
  find_package(GTest REQUIRED)
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock quimbrel_options)
  target_compile_definitions(${T_NAME} PRIVATE
    QUIMBREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QUIMBREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}")
endfunction()

# quimbrel_add_fuzzer(NAME name SOURCES ... LIBS ...): built only with QUIMBREL_FUZZ (clang, -fsanitize=fuzzer).
# Fuzzers land in <build>/fuzzers/, where scripts/fuzz runs each of them for a bounded time; a folder
# <source>/tests/fuzz-corpus/<name>/ , when present, seeds it.
function(quimbrel_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT QUIMBREL_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} quimbrel_options)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
endfunction()

# quimbrel_add_benchmark(NAME name SOURCES ... LIBS ...): Google Benchmark executable, not run by CTest.
function(quimbrel_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark quimbrel_options)
  target_compile_definitions(${B_NAME} PRIVATE
    QUIMBREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QUIMBREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()
