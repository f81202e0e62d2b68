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

set(ORVET_STREAM_FUZZ_TEST_RUNS 6000 CACHE STRING "Inputs the cpu_stream_fuzz_short test runs")
orvet_add_short_fuzz_run(orvet_cpu_stream_fuzz cpu_stream ${ORVET_STREAM_FUZZ_TEST_RUNS} 2048
                         "${stream_seed_dir}")
