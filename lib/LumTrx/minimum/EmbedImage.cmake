# Writes the bytes of a file as the C++ source of MinimumDllImage().
# cmake -DINPUT=<file> -DOUTPUT=<source> -P EmbedImage.cmake
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUTPUT}.tmp
  "// Generated from ${INPUT}.\n"
  "#include \"lib/LumTrx/LumTrxMinimumDllWin.h\"\n"
  "namespace {\n"
  "const std::uint8_t kImage[] = {${bytes}};\n"
  "}\n"
  "std::span<const std::uint8_t> MinimumDllImage() {\n"
  "    return kImage;\n"
  "}\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
