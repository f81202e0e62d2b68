# The settings file parser and writer. It needs the front end's library, so it is declared here
# rather than with orvet_add_parser_fuzz, which links the core alone.
add_executable(orvet_settings_fuzz settings_fuzz.cpp)
target_link_libraries(orvet_settings_fuzz PRIVATE orvet_frontend orvet_core orvet_fuzz_options)
orvet_add_short_fuzz_run(orvet_settings_fuzz settings 100000 4096
                         "${CMAKE_CURRENT_SOURCE_DIR}/seeds/settings")
