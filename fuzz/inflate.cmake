orvet_add_parser_fuzz(inflate "${CMAKE_CURRENT_SOURCE_DIR}/seeds/inflate" 40000)
# zlib is the reference the decoder is compared with.
find_package(ZLIB REQUIRED)
target_link_libraries(orvet_inflate_fuzz PRIVATE ZLIB::ZLIB)
