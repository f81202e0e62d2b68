# The save-state loader. Its seeds are real states, written at build time by a small tool into
# the build tree: a state holds the shifter's 64 KB screen copy, too large to keep in the sources.
add_executable(orvet_save_state_fuzz save_state_fuzz.cpp)
target_link_libraries(orvet_save_state_fuzz PRIVATE orvet_core orvet_fuzz_options)
add_executable(orvet_save_state_seeds save_state_seeds.cpp)
# A program of its own (no libFuzzer main), linked against the instrumented core.
target_compile_options(orvet_save_state_seeds PRIVATE -fsanitize=address,undefined)
target_link_options(orvet_save_state_seeds PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_libraries(orvet_save_state_seeds PRIVATE orvet_core)
set(save_state_seeds "${CMAKE_CURRENT_BINARY_DIR}/seeds_save_state")
add_custom_command(
  OUTPUT "${save_state_seeds}/after_30_sections"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${save_state_seeds}"
  COMMAND orvet_save_state_seeds "${save_state_seeds}"
  DEPENDS orvet_save_state_seeds
  COMMENT "Writing the save-state fuzz seeds"
  VERBATIM)
add_custom_target(orvet_save_state_fuzz_seeds ALL DEPENDS "${save_state_seeds}/after_30_sections")
add_dependencies(orvet_save_state_fuzz orvet_save_state_fuzz_seeds)
orvet_add_short_fuzz_run(orvet_save_state_fuzz save_state 1500 131072 "${save_state_seeds}")
