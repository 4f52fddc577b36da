# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P EmbedFile.cmake
# Writes a C++ source holding the bytes of INPUT as
#   namespace wy { extern const unsigned char SYMBOL[]; extern const size_t SYMBOLSize; }
# so that data files travel inside the program and nothing is read from disk
# at run time.
file(READ "${INPUT}" _hex HEX)
string(LENGTH "${_hex}" _length)
math(EXPR _size "${_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
# Line breaks every 32 bytes keep the generated file readable by tools.
string(REGEX REPLACE "((0x..,){32})" "\\1\n" _bytes "${_bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n"
  "namespace wy {\n"
  "extern const unsigned char ${SYMBOL}[];\n"
  "extern const size_t ${SYMBOL}Size;\n"
  "const unsigned char ${SYMBOL}[] = {\n${_bytes}\n};\n"
  "const size_t ${SYMBOL}Size = ${_size};\n"
  "}  // namespace wy\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
