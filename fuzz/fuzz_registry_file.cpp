// libFuzzer target: the settings file's reader (REGEDIT4 text) over any bytes a person or a crash
// may leave in the file.
//
// Besides the sanitizers' own checks: a tree read from the file must be writable and read back whole
// and unchanged (or the program would lose settings at its next write), writing it again must give
// the same text, and every key and value read must be found again by name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/linux/RegistryFile.h"

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

void ExpectFindable(const Key& top, const Key& key, KeyPath& path) {
    if (!path.empty() && FindKey(top, path) != &key) Fail("a key is not found by its path", key.name);
    for (const Value& value : key.values) {
        if (FindValue(key, value.name) != &value) Fail("a value is not found by its name", value.name);
    }
    for (const Key& subkey : key.subkeys) {
        path.push_back(subkey.name);
        ExpectFindable(top, subkey, path);
        path.pop_back();
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
    KeyPath path;
    ExpectFindable(first.top, first.top, path);

    // A change that would make the file larger than the reader takes is refused, so such a tree is
    // never written.
    const std::string written = Format(first.top);
    if (written.size() > kMaxFileSize) return 0;
    const ParseResult second = Parse(written);
    if (!second.isRegistryFile || second.skippedLines != 0) Fail("the written file does not read back whole", written);
    ExpectSameTree(first.top, second.top, "");
    if (Format(second.top) != written) Fail("writing the same tree twice gave two texts", written);
    return 0;
}
