# Writes the bytes of INPUT (the compiled .res image) into OUTPUT, a C++ source that defines
# orvane::res::ProgramResourceBytes. Run with cmake -DINPUT=... -DOUTPUT=... -P EmbedBytes.cmake.
if(NOT INPUT OR NOT OUTPUT)
    message(FATAL_ERROR "EmbedBytes.cmake needs -DINPUT=<file> and -DOUTPUT=<file>")
endif()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")

# 16 bytes per line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line_pattern)
string(REGEX REPLACE "(${line_pattern})" "\\1\n    " bytes "${bytes}")

# The array ends with one byte more than the image, so that an empty image still makes valid C++.
file(WRITE "${OUTPUT}" "// Generated from ${INPUT} by res/EmbedBytes.cmake; do not edit.
#include \"res/ProgramResourceBytes.h\"

namespace orvane::res {
namespace {
const unsigned char kBytes[] = {
    ${bytes}0x00
};
}  // namespace

const unsigned char* ProgramResourceBytes(std::size_t* size) {
    if (size != nullptr) *size = ${size}u;
    return kBytes;
}

}  // namespace orvane::res
")
