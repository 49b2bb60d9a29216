# Writes OUTPUT, a C++ file with the bytes of INPUT as kCatchlineDemoData.
if(EXISTS ${INPUT})
  file(READ ${INPUT} hex HEX)
else()
  set(hex "")
endif()
string(LENGTH "${hex}" len)
math(EXPR size "${len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
if(size EQUAL 0)
  set(bytes "0")
endif()
file(WRITE ${OUTPUT}.tmp
  "// Generated from the demo recording; do not edit.\n#include <cstddef>\n"
  "extern const unsigned char kCatchlineDemoData[];\nextern const size_t kCatchlineDemoDataSize;\n"
  "const unsigned char kCatchlineDemoData[] = {\n${bytes}\n};\n"
  "const size_t kCatchlineDemoDataSize = ${size};\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
