// The registry export text ("REGEDIT4"): reading it leniently and writing it as regedit does.
#include "platform/linux/RegistryText.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace orvane::regfile {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// regedit folds hex data once a line passes this column.
constexpr std::size_t kFoldColumn = 76;
constexpr char kHexDigits[] = "0123456789abcdef";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(LowerAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view TrimLeft(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

std::string_view TrimRight(std::string_view text) {
    const std::size_t end = text.find_last_not_of(" \t");
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = LowerAscii(c);
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHexNumber(std::string_view text, DWORD& number) {
    if (text.empty() || text.size() > 8) return false;
    DWORD result = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return false;
        result = result << 4 | static_cast<DWORD>(digit);
    }
    number = result;
    return true;
}

// Comma-separated bytes of one or two hex digits each; blanks around them and a final comma are allowed.
bool ParseHexBytes(std::string_view text, std::vector<BYTE>& bytes) {
    bytes.clear();
    text = TrimRight(TrimLeft(text));
    if (text.empty()) return true;
    if (text.back() == ',') text.remove_suffix(1);
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = TrimRight(TrimLeft(text.substr(0, comma)));
        DWORD byte = 0;
        if (item.size() > 2 || !ParseHexNumber(item, byte)) return false;
        bytes.push_back(static_cast<BYTE>(byte));
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

// A quoted name or string starting at text[0] == '"', with \\ and \" as its only escapes; a backslash
// before anything else is kept as it stands. Sets `rest` to what follows the closing quote.
bool ParseQuoted(std::string_view text, std::string& out, std::string_view& rest) {
    out.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            rest = text.substr(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[++i];
        } else {
            out += c;
        }
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

bool ParseKeyPath(std::string_view text, KeyPath& path) {
    path.clear();
    while (true) {
        const std::size_t slash = text.find('\\');
        const std::string_view name = text.substr(0, slash);
        if (!IsValidKeyName(name) || name.empty() || path.size() == kMaxKeyDepth) return false;
        path.emplace_back(name);
        if (slash == std::string_view::npos) return true;
        text.remove_prefix(slash + 1);
    }
}

// A REG_SZ that regedit would write between quotes: printable ASCII and exactly one zero, at the end.
bool IsPlainString(const Value& value) {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
    return std::all_of(value.data.begin(), value.data.end() - 1, [](BYTE b) { return b >= 0x20 && b < 0x7F; });
}

void AppendValueName(std::string& out, const std::string& name) {
    if (name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, name);
    }
    out += '=';
}

void FormatKeys(const Key& key, std::string& path, std::string& out) {
    const std::size_t pathSize = path.size();
    if (!path.empty()) path += '\\';
    path += key.name;
    out += '[';
    out += path;
    out += "]\n";
    for (const Value& value : key.values) {
        out += FormatValue(value);
        out += '\n';
    }
    out += '\n';
    for (const Key& subkey : key.subkeys) FormatKeys(subkey, path, out);
    path.resize(pathSize);
}

// Parses one value line (with its continuation lines for hex data already joined) into `value`.
bool ParseValueLine(std::string_view line, Value& value) {
    std::string_view rest;
    if (line.front() == '@') {
        value.name.clear();
        rest = line.substr(1);
    } else if (!ParseQuoted(line, value.name, rest) || !IsValidValueName(value.name)) {
        return false;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return false;
    rest = TrimRight(TrimLeft(rest.substr(1)));

    if (!rest.empty() && rest.front() == '"') {
        std::string text;
        std::string_view after;
        if (!ParseQuoted(rest, text, after) || !TrimLeft(after).empty()) return false;
        value.type = REG_SZ;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
        return true;
    }
    if (rest.substr(0, 6) == "dword:") {
        DWORD number = 0;
        if (!ParseHexNumber(rest.substr(6), number)) return false;
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                      static_cast<BYTE>(number >> 24)};
        return true;
    }
    if (rest.substr(0, 4) == "hex:") {
        value.type = REG_BINARY;
        return ParseHexBytes(rest.substr(4), value.data);
    }
    if (rest.substr(0, 4) == "hex(") {
        const std::size_t close = rest.find("):");
        if (close == std::string_view::npos || !ParseHexNumber(rest.substr(4, close - 4), value.type)) return false;
        return ParseHexBytes(rest.substr(close + 2), value.data);
    }
    // Deletions ("Name"=-) belong to files meant for import, not to a kept tree; like anything else
    // unknown they are skipped.
    return false;
}

// Whether a value line holds hex data, the only kind that is folded: a quoted string that ends in
// a backslash is not a continuation.
bool StartsHexData(std::string_view line) {
    std::string name;
    std::string_view rest;
    if (line.front() == '@') {
        rest = line.substr(1);
    } else if (!ParseQuoted(line, name, rest)) {
        return false;
    }
    rest = TrimLeft(rest);
    return !rest.empty() && rest.front() == '=' && TrimLeft(rest.substr(1)).substr(0, 3) == "hex";
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), LowerAscii);
    return folded;
}

// The tree while a file is read. Keys and values are found through indexes, so that a file of many
// keys or values takes n log n steps rather than n squared. The folded names order the subkeys as
// CompareNames does: std::string compares its chars as unsigned.
struct PendingKey {
    std::string name;
    std::vector<Value> values;
    std::unordered_map<std::string, std::size_t> valueIndex;  // folded name -> place in `values`
    std::map<std::string, std::unique_ptr<PendingKey>> subkeys;  // by folded name
};

// The key at `path`, created as needed; null when that would pass the limit on the number of keys.
PendingKey* AddPendingKey(PendingKey& top, const KeyPath& path, std::size_t& keyCount) {
    PendingKey* key = &top;
    for (const std::string& name : path) {
        std::string folded = Folded(name);
        auto place = key->subkeys.find(folded);
        if (place == key->subkeys.end()) {
            if (keyCount == kMaxKeys) return nullptr;
            ++keyCount;
            place = key->subkeys.emplace(std::move(folded), std::make_unique<PendingKey>()).first;
            place->second->name = name;
        }
        key = place->second.get();
    }
    return key;
}

// Like SetValue: a later line for the same name wins, the first spelling stays.
void AddPendingValue(PendingKey& key, Value value) {
    const auto [place, added] = key.valueIndex.try_emplace(Folded(value.name), key.values.size());
    if (added) {
        key.values.push_back(std::move(value));
    } else {
        key.values[place->second].type = value.type;
        key.values[place->second].data = std::move(value.data);
    }
}

Key FinishKey(PendingKey& pending) {
    Key key{std::move(pending.name), std::move(pending.values), {}};
    key.subkeys.reserve(pending.subkeys.size());
    for (auto& subkey : pending.subkeys) key.subkeys.push_back(FinishKey(*subkey.second));
    return key;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareNames(a, b) == 0; }

bool IsValidKeyName(std::string_view name) {
    return name.size() <= kMaxKeyNameLength && name.find('\\') == std::string_view::npos &&
           std::none_of(name.begin(), name.end(), IsControl);
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= kMaxValueNameLength && std::none_of(name.begin(), name.end(), IsControl);
}

const Key* FindKey(const Key& top, const KeyPath& path) {
    const Key* key = &top;
    for (const std::string& name : path) {
        const auto found = std::lower_bound(key->subkeys.begin(), key->subkeys.end(), name,
                                            [](const Key& subkey, const std::string& wanted) {
                                                return CompareNames(subkey.name, wanted) < 0;
                                            });
        if (found == key->subkeys.end() || !NamesEqual(found->name, name)) return nullptr;
        key = &*found;
    }
    return key;
}

Key& CreateKey(Key& top, const KeyPath& path) {
    Key* key = &top;
    for (const std::string& name : path) {
        auto& subkeys = key->subkeys;
        auto place = std::lower_bound(subkeys.begin(), subkeys.end(), name,
                                      [](const Key& subkey, const std::string& wanted) {
                                          return CompareNames(subkey.name, wanted) < 0;
                                      });
        if (place == subkeys.end() || !NamesEqual(place->name, name)) place = subkeys.insert(place, Key{name, {}, {}});
        key = &*place;
    }
    return *key;
}

const Value* FindValue(const Key& key, std::string_view name) {
    const auto found = std::find_if(key.values.begin(), key.values.end(),
                                    [&](const Value& value) { return NamesEqual(value.name, name); });
    return found == key.values.end() ? nullptr : &*found;
}

void SetValue(Key& key, Value value) {
    const auto found = std::find_if(key.values.begin(), key.values.end(),
                                    [&](const Value& existing) { return NamesEqual(existing.name, value.name); });
    if (found == key.values.end()) {
        key.values.push_back(std::move(value));
        return;
    }
    // Windows keeps the spelling under which a value was first created.
    found->type = value.type;
    found->data = std::move(value.data);
}

ParseResult Parse(std::string_view text) {
    ParseResult result;
    if (text.size() > kMaxFileSize) return result;

    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }

    // Editors on Windows like to start a file with a UTF-8 byte order mark.
    std::string_view header = lines.empty() ? std::string_view() : lines.front();
    if (header.substr(0, 3) == "\xEF\xBB\xBF") header.remove_prefix(3);
    if (TrimRight(header) != kHeader) return result;
    result.isRegistryFile = true;

    // The key that value lines go to; none after a key line that was not understood, so that its
    // values are skipped with it rather than landing in the key above.
    PendingKey top;
    PendingKey* current = nullptr;
    std::size_t keyCount = 0;
    KeyPath path;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = TrimLeft(lines[i]);
        if (lines[i].size() > kMaxLineLength) {
            ++result.skippedLines;
            continue;
        }
        if (line.empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            const std::string_view inner = TrimRight(line);
            const bool understood = inner.size() > 2 && inner.back() == ']' && inner[1] != '-' &&
                                    ParseKeyPath(inner.substr(1, inner.size() - 2), path);
            current = understood ? AddPendingKey(top, path, keyCount) : nullptr;
            if (current == nullptr) ++result.skippedLines;
            continue;
        }

        std::string joined;
        std::string_view logical = TrimRight(line);
        if ((logical.front() == '"' || logical.front() == '@') && StartsHexData(logical)) {
            joined.assign(logical);
            while (!joined.empty() && joined.back() == '\\' && i + 1 < lines.size() &&
                   lines[i + 1].size() <= kMaxLineLength) {
                joined.pop_back();
                joined += TrimRight(TrimLeft(lines[++i]));
            }
            logical = joined;
        }

        Value value;
        if (current == nullptr || (logical.front() != '"' && logical.front() != '@') ||
            !ParseValueLine(logical, value)) {
            ++result.skippedLines;
            continue;
        }
        AddPendingValue(*current, std::move(value));
    }
    result.top = FinishKey(top);
    return result;
}

std::string FormatValue(const Value& value) {
    std::string out;
    AppendValueName(out, value.name);

    if (IsPlainString(value)) {
        const std::size_t start = out.size();
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
        if (out.size() <= kMaxLineLength) return out;
        out.resize(start);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD number = static_cast<DWORD>(value.data[0]) | static_cast<DWORD>(value.data[1]) << 8 |
                             static_cast<DWORD>(value.data[2]) << 16 | static_cast<DWORD>(value.data[3]) << 24;
        char digits[16] = {};
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned int>(number));
        out += "dword:";
        out += digits;
        return out;
    }

    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        char prefix[24] = {};
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned int>(value.type));
        out += prefix;
    }
    std::size_t column = out.size();
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        out += kHexDigits[value.data[i] >> 4];
        out += kHexDigits[value.data[i] & 0x0F];
        column += 2;
        if (i + 1 == value.data.size()) break;
        out += ',';
        ++column;
        if (column > kFoldColumn) {
            out += "\\\n  ";
            column = 2;
        }
    }
    return out;
}

std::string Format(const Key& top) {
    std::string out(kHeader);
    out += "\n\n";
    std::string path;
    for (const Key& root : top.subkeys) FormatKeys(root, path, out);
    return out;
}

}  // namespace orvane::regfile
