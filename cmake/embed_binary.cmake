# Turns a raw 68000 program (big-endian bytes from objcopy) into a C++ header holding it as a
# byte array, so the benchmark carries its programs and runs from any folder.
#   cmake -DINPUT=program.bin -DOUTPUT=program.h -DNAME=kSomeProgram -P embed_binary.cmake
foreach(required INPUT OUTPUT NAME)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_binary.cmake: -D${required}=... is missing")
  endif()
endforeach()

file(READ "${INPUT}" program_hex HEX)
string(LENGTH "${program_hex}" hex_length)
if(hex_length EQUAL 0)
  message(FATAL_ERROR "embed_binary.cmake: ${INPUT} is empty")
endif()
# Sixteen bytes a line keeps the generated file readable in a debugger.
set(program_bytes "")
math(EXPR last_line_start "${hex_length} - 1")
foreach(line_start RANGE 0 ${last_line_start} 32)
  string(SUBSTRING "${program_hex}" ${line_start} 32 line_hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " line_bytes "${line_hex}")
  string(STRIP "${line_bytes}" line_bytes)
  string(APPEND program_bytes "    ${line_bytes}\n")
endforeach()

get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${source_name} by embed_binary.cmake; do not edit.\n"
  "#pragma once\n\n"
  "inline constexpr unsigned char ${NAME}[] = {\n${program_bytes}};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
