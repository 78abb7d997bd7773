# Turns a text file into a C++ source defining
#   const chatsieve::tools::EmbeddedText& NAME()
# that holds its bytes, so a tool carries a data table and needs no file at
# run time. Run as a script at build time:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=Function -P EmbedText.cmake
# (chatsieve_embed_text in ChatsieveHelpers.cmake sets up the command).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line keeps the generated file readable in a diff tool.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x..',){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/EmbedText.cmake; do not edit.\n"
  "#include \"compiler/EmbeddedText.h\"\n\n"
  "namespace chatsieve::tools {\n\n"
  "namespace {\n"
  "const char kBytes[] = {\n    ${bytes}'\\0'};\n"
  "}  // namespace\n\n"
  "const EmbeddedText& ${NAME}() {\n"
  "    static const EmbeddedText text{kBytes, ${size}};\n"
  "    return text;\n"
  "}\n\n"
  "}  // namespace chatsieve::tools\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
