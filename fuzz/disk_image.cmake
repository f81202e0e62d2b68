orvet_add_parser_fuzz(disk_image "${CMAKE_CURRENT_SOURCE_DIR}/seeds/disk_image" 40000)
