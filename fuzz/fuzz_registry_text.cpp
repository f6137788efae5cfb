// A libFuzzer target: the registry export text (RegistryText), in memory, over any bytes a person, a
// crash or another program may leave in the settings file.
//
// Besides the sanitizers' own checks, the text module's rules: what is read holds only names the file
// can hold, each key's subkeys in name order without two of one name, each key's values without two
// of one name, and every key and value is found again by name; the tree that was read is written and
// read back whole and unchanged (or the program would lose settings at its next write), with no line
// longer than the reader takes, and writing it again gives the same text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/linux/RegistryText.h"

namespace {

using namespace orvane::regfile;

[[noreturn]] void Fail(const char* what, const std::string& where) {
    std::fprintf(stderr, "%s: %s\n", what, where.substr(0, 200).c_str());
    std::abort();
}

void ExpectSameTree(const Key& a, const Key& b, const std::string& path) {
    if (a.name != b.name) Fail("a key name changed", path);
    if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) Fail("keys or values were lost", path);
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const Value& x = a.values[i];
        const Value& y = b.values[i];
        if (x.name != y.name || x.type != y.type || x.data != y.data) Fail("a value changed", path + " " + x.name);
    }
    for (std::size_t i = 0; i < a.subkeys.size(); ++i) ExpectSameTree(a.subkeys[i], b.subkeys[i], path + "\\" + a.subkeys[i].name);
}

// Whether `a` sorts before `b` ignoring ASCII case, as the subkeys are kept.
bool NameBefore(const std::string& a, const std::string& b) {
    const auto lower = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return lower(a[i]) < lower(b[i]);
    }
    return a.size() < b.size();
}

void ExpectWellFormed(const Key& top, const Key& key, KeyPath& path) {
    if (path.size() > kMaxKeyDepth) Fail("a key lies deeper than the limit", key.name);
    if (!path.empty() && !IsValidKeyName(key.name)) Fail("a key name the file cannot hold was read", key.name);
    if (!path.empty() && FindKey(top, path) != &key) Fail("a key is not found by its path", key.name);
    for (std::size_t i = 0; i < key.values.size(); ++i) {
        const Value& value = key.values[i];
        if (!IsValidValueName(value.name)) Fail("a value name the file cannot hold was read", value.name);
        if (FindValue(key, value.name) != &value) Fail("a value is not found by its name, or is there twice", value.name);
    }
    for (std::size_t i = 0; i < key.subkeys.size(); ++i) {
        if (i > 0 && !NameBefore(key.subkeys[i - 1].name, key.subkeys[i].name)) {
            Fail("subkeys out of name order, or one name twice", key.subkeys[i].name);
        }
        path.push_back(key.subkeys[i].name);
        ExpectWellFormed(top, key.subkeys[i], path);
        path.pop_back();
    }
}

void ExpectLinesWithinLimit(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (std::min(end, text.size()) > kMaxLineLength) Fail("a written line is longer than the reader takes", "");
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParseResult first = Parse(text);
    if (!first.isRegistryFile) {
        if (!first.top.subkeys.empty() || !first.top.values.empty()) Fail("a file that is none gave keys", "");
        return 0;
    }
    if (!first.top.values.empty()) Fail("a value was put above the roots", "");
    KeyPath path;
    ExpectWellFormed(first.top, first.top, path);

    // A change that would make the file larger than the reader takes is refused, so such a tree is
    // never written.
    const std::string written = Format(first.top);
    if (written.size() > kMaxFileSize) return 0;
    ExpectLinesWithinLimit(written);
    const ParseResult second = Parse(written);
    if (!second.isRegistryFile || second.skippedLines != 0) Fail("the written file does not read back whole", written);
    ExpectSameTree(first.top, second.top, "");
    if (Format(second.top) != written) Fail("writing the same tree twice gave two texts", written);
    return 0;
}
