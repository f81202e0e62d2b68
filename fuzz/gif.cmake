# The GIF coder, its pictures read back by giflib.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GIFLIB REQUIRED IMPORTED_TARGET libgif)
orvet_add_parser_fuzz(gif "${CMAKE_CURRENT_SOURCE_DIR}/seeds/gif" 1500)
target_link_libraries(orvet_gif_fuzz PRIVATE PkgConfig::GIFLIB)
# The code walker the capture tests use.
target_include_directories(orvet_gif_fuzz PRIVATE "${CMAKE_SOURCE_DIR}/tests/capture")
