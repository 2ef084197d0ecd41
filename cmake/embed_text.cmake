# Turns a text file into a C++ source defining one string constant, so the
# Linux build serves the same ribbon XML the Windows DLL holds as a resource.
# Inputs: INPUT, OUTPUT, NAME.
file(READ "${INPUT}" content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${content}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "namespace veilmark {\n"
  "extern const char ${NAME}[];\n"
  "const char ${NAME}[] = \"${escaped}\";\n"
  "}  // namespace veilmark\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
