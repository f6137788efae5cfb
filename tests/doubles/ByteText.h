// Raw value bytes from text, and back to text that shows each byte, and the lines of a settings
// file's text: for comparing registry data.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace orvane::test {

// The bytes of `text` as they are; a terminating zero is there only if `text` holds one.
inline std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

// "01 02 ff": lower-case hex pairs, so that a failed comparison shows which byte differs.
inline std::string Hex(const std::vector<BYTE>& data) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const BYTE b : data) {
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

// The lines of a settings file's text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace orvane::test
