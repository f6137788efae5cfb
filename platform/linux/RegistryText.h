// The registry export text ("REGEDIT4") that the per-user registry file holds: the key tree, and
// reading and writing it. Pure functions on strings; platform/linux/RegistryFile keeps the file.
//
// The text is meant to be read and mended by a person, and Wine's regedit imports it:
//
//     REGEDIT4
//
//     [HKEY_CURRENT_USER\Software\Quintarro\orvane\Configuration]
//     "URLIndex"=dword:00000000
//     "URL"="http://example.org:13"
//     "Other"=hex(2):25,54,45,4d,50,25,00
//
// Every key, empty or not, has a [key] line of its own, so a created path is visible. A REG_SZ is
// written plainly only when it is printable ASCII ending in its one terminating zero; any other
// string, and every other type, is written as hex(N): bytes (hex: for REG_BINARY), folded with a
// trailing backslash at about 80 columns as regedit does. Bytes are kept exactly; no code page is
// applied.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace orvane::regfile {

// Bounds on what is read and written. A larger file is treated as damaged; a change that would make
// the file larger is refused. Hex data is folded, so only a plain string can make a long line, and a
// string too long for one line is written as hex instead. A [key] line never comes near the line
// limit: every key above it has a line of its own, and a path that long would take a file many
// times the size limit.
inline constexpr std::size_t kMaxFileSize = 1024 * 1024;
inline constexpr std::size_t kMaxLineLength = 64 * 1024;
// The Windows limits for a key name and a value name, in bytes.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;
// More keys than a file within the size limit can give their own lines; only a file made by other
// hands reaches it.
inline constexpr std::size_t kMaxKeys = 65536;

struct Value {
    std::string name;  // empty for the key's default value, written "@"
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::string name;
    std::vector<Value> values;  // in the order in which they were first set
    std::vector<Key> subkeys;   // in name order, ignoring ASCII case
};

// A path of key names from the unnamed top node, whose subkeys are the roots ("HKEY_CURRENT_USER").
using KeyPath = std::vector<std::string>;

// Key and value names compare without regard to ASCII case, as on Windows.
bool NamesEqual(std::string_view a, std::string_view b);

// Names that the file can hold: no control characters (they would break the line structure), a key
// name also without a backslash (the path separator), and within the Windows length limits.
bool IsValidKeyName(std::string_view name);
bool IsValidValueName(std::string_view name);

const Key* FindKey(const Key& top, const KeyPath& path);
// The key at `path`, created with every missing key above it.
Key& CreateKey(Key& top, const KeyPath& path);
const Value* FindValue(const Key& key, std::string_view name);
// Stores `value`, replacing one of the same name (whose spelling is kept) of any type.
void SetValue(Key& key, Value value);

struct ParseResult {
    Key top;
    bool isRegistryFile = false;  // false: no "REGEDIT4" first line, or too large; `top` is then empty
    std::size_t skippedLines = 0;  // lines that were not understood and left out of `top`
};

// Reads registry export text leniently: a line that is not understood is skipped and counted.
ParseResult Parse(std::string_view text);

// The text of the tree below `top`, one [key] block per key, depth first.
std::string Format(const Key& top);

// One value as its line(s) in the file, without the final line break.
std::string FormatValue(const Value& value);

}  // namespace orvane::regfile
