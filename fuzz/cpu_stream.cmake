# orvet_cpu_stream_fuzz: random instruction streams, run in long slices and one instruction per
# slice, must agree (tests/cpu/instruction_streams.h). Seeds are assembled from
# seeds/cpu_stream/*.s: an options byte, 127 bytes of start-state choices, then 68000 code.
add_executable(orvet_cpu_stream_fuzz cpu_stream_fuzz.cpp
  "${CMAKE_SOURCE_DIR}/tests/cpu/instruction_streams.cpp")
target_include_directories(orvet_cpu_stream_fuzz PRIVATE "${CMAKE_SOURCE_DIR}/tests/cpu")
target_link_libraries(orvet_cpu_stream_fuzz PRIVATE orvet_core orvet_fuzz_options)
# The harness keeps its memory checks but gives the fuzzer no coverage of its own: new paths are
# sought in the core, not in the generator or the comparison.
set_source_files_properties("${CMAKE_SOURCE_DIR}/tests/cpu/instruction_streams.cpp"
  TARGET_DIRECTORY orvet_cpu_stream_fuzz PROPERTIES COMPILE_OPTIONS "-fno-sanitize=fuzzer")

set(stream_seed_dir "${CMAKE_CURRENT_BINARY_DIR}/seeds_cpu_stream")
file(GLOB stream_seed_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/seeds/cpu_stream/*.s")
orvet_assemble_seeds(orvet_cpu_stream_fuzz "${stream_seed_dir}" ${stream_seed_sources})

# The short, repeatable run of the test suite: a fixed seed and number of inputs from the seeds.
set(ORVET_STREAM_FUZZ_TEST_RUNS 6000 CACHE STRING "Inputs the cpu_stream_fuzz_short test runs")
set(stream_corpus "${CMAKE_CURRENT_BINARY_DIR}/corpus_cpu_stream")
add_test(NAME cpu_stream_fuzz_clear_corpus COMMAND "${CMAKE_COMMAND}" -E rm -rf "${stream_corpus}")
set_tests_properties(cpu_stream_fuzz_clear_corpus PROPERTIES FIXTURES_SETUP cpu_stream_fuzz_corpus)
add_test(NAME cpu_stream_fuzz_short
  COMMAND orvet_cpu_stream_fuzz -seed=1 -runs=${ORVET_STREAM_FUZZ_TEST_RUNS} -max_len=2048
          -timeout=10 -rss_limit_mb=2048 -create_missing_dirs=1 -print_final_stats=1
          -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/
          "${stream_corpus}" "${stream_seed_dir}")
set_tests_properties(cpu_stream_fuzz_short PROPERTIES FIXTURES_REQUIRED cpu_stream_fuzz_corpus
                     TIMEOUT 120)
