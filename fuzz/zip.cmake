orvet_add_parser_fuzz(zip "${CMAKE_CURRENT_SOURCE_DIR}/seeds/zip" 150000)
