# The disassembler: any words, each taken as an instruction's start.
orvet_add_parser_fuzz(disassembler "${CMAKE_CURRENT_SOURCE_DIR}/seeds/disassembler" 200000)
