// Tests of the registry export text: what regedit writes and reads, and what a person may have done to it.
#include "platform/linux/RegistryText.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "doubles/ByteText.h"

namespace orvane {
namespace {

using regfile::Key;
using regfile::Value;
using test::Bytes;
using test::Hex;
using test::Lines;

const regfile::KeyPath kTestKey = {"HKEY_CURRENT_USER", "Software", "Test"};

std::size_t CountKeys(const Key& key) {
    std::size_t count = key.subkeys.size();
    for (const Key& subkey : key.subkeys) count += CountKeys(subkey);
    return count;
}

TEST(RegistryText, LooksAsRegeditWritesIt) {
    Key top;
    Key& section = regfile::CreateKey(top, {"HKEY_CURRENT_USER", "Software", "Quintarro", "orvane", "Configuration"});
    regfile::SetValue(section, {"RadioButton", REG_DWORD, {1, 0, 0, 0}});
    regfile::SetValue(section, {"URLIndex", REG_DWORD, {0xEF, 0xBE, 0xAD, 0xDE}});
    regfile::SetValue(section, {"URL", REG_SZ, Bytes(std::string("http://time.nist.gov:13", 24))});
    regfile::SetValue(section, {"", REG_SZ, Bytes(std::string("say \"hi\" \\ there", 17))});
    regfile::SetValue(section, {"Path", REG_EXPAND_SZ, Bytes(std::string("%HOME%", 7))});
    regfile::SetValue(section, {"Blob", REG_BINARY, {0x00, 0xFF, 0x10}});
    regfile::CreateKey(top, {"HKEY_CURRENT_USER", "Software", "Another"});

    EXPECT_EQ(regfile::Format(top),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Another]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Quintarro]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]\n"
              "\"RadioButton\"=dword:00000001\n"
              "\"URLIndex\"=dword:deadbeef\n"
              "\"URL\"=\"http://time.nist.gov:13\"\n"
              "@=\"say \\\"hi\\\" \\\\ there\"\n"
              "\"Path\"=hex(2):25,48,4f,4d,45,25,00\n"
              "\"Blob\"=hex:00,ff,10\n"
              "\n");
}

TEST(RegistryText, LongHexDataIsFoldedAndReadsBack) {
    Value value{"Long", REG_BINARY, {}};
    for (int i = 0; i < 300; ++i) value.data.push_back(static_cast<BYTE>(i));
    const std::string text = regfile::FormatValue(value);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_GT(lines.size(), 3u) << text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 80u) << "line " << i << ": " << lines[i];
        if (i + 1 < lines.size()) {
            EXPECT_EQ(lines[i].substr(lines[i].size() - 2), ",\\") << lines[i];
        }
        if (i > 0) {
            EXPECT_EQ(lines[i].substr(0, 2), "  ") << lines[i];
        }
    }
    const regfile::ParseResult parsed = regfile::Parse("REGEDIT4\n\n[HKEY_CURRENT_USER]\n" + text + "\n");
    EXPECT_EQ(parsed.skippedLines, 0u);
    const Value* back = regfile::FindValue(*regfile::FindKey(parsed.top, {"HKEY_CURRENT_USER"}), "Long");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->type, REG_BINARY);
    EXPECT_EQ(Hex(back->data), Hex(value.data));
}

// The file as people and other tools write it: each case must give the one value `Test`\"V".
TEST(RegistryText, ReadsWhatPeopleAndRegeditWrite) {
    const struct {
        const char* what;
        std::string text;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"Windows line ends", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"V\"=dword:00000002\r\n", REG_DWORD,
         {2, 0, 0, 0}},
        {"byte order mark", "\xEF\xBB\xBFREGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=\"x\"\n", REG_SZ, {'x', 0}},
        {"comments and blank lines", "REGEDIT4\n; mine\n\n[HKEY_CURRENT_USER\\Software\\Test]\n;\"V\"=\"no\"\n\n\"V\"=\"y\"\n",
         REG_SZ, {'y', 0}},
        {"blanks around the equals sign", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n  \"V\" = dword:a \n", REG_DWORD,
         {10, 0, 0, 0}},
        {"upper-case hex and a final comma", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=hex:0A,Ff,\n",
         REG_BINARY, {0x0A, 0xFF}},
        {"folded hex with Windows line ends",
         "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"V\"=hex(7):61,00,\\\r\n  62,00,\\\r\n  00\r\n", REG_MULTI_SZ,
         {'a', 0, 'b', 0, 0}},
        {"key spelled in another case", "REGEDIT4\n[hkey_current_user\\SOFTWARE\\test]\n\"V\"=dword:3\n", REG_DWORD,
         {3, 0, 0, 0}},
        {"repeated key and value: the last value wins",
         "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=dword:1\n[HKEY_CURRENT_USER\\Software\\Test]\n\"v\"=dword:4\n",
         REG_DWORD, {4, 0, 0, 0}},
        {"unknown escape kept as written", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=\"a\\nb\"\n", REG_SZ,
         {'a', '\\', 'n', 'b', 0}},
        {"8-bit text between quotes", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=\"\xE9\"\n", REG_SZ, {0xE9, 0}},
        {"string ending in a backslash is not folded",
         "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=\"=hex:\\\\\"\n\"W\"=dword:1\n", REG_SZ,
         {'=', 'h', 'e', 'x', ':', '\\', 0}},
    };
    for (const auto& c : cases) {
        const regfile::ParseResult parsed = regfile::Parse(c.text);
        EXPECT_TRUE(parsed.isRegistryFile) << c.what;
        EXPECT_EQ(parsed.skippedLines, 0u) << c.what;
        const Key* key = regfile::FindKey(parsed.top, kTestKey);
        const Value* value = key != nullptr ? regfile::FindValue(*key, "V") : nullptr;
        ASSERT_NE(value, nullptr) << c.what;
        EXPECT_EQ(value->type, c.type) << c.what;
        EXPECT_EQ(Hex(value->data), Hex(c.data)) << c.what;
    }
}

// Each bad line stands between two good values; it is skipped and counted, and nothing else is lost.
TEST(RegistryText, BadLinesAreSkippedAndTheRestIsKept) {
    const char* const badLines[] = {
        "\"Bad\"=dword:123456789",
        "\"Bad\"=dword:",
        "\"Bad\"=dword:12x4",
        "\"Bad\"=hex:1,zz",
        "\"Bad\"=hex:123",
        "\"Bad\"=hex:01,,02",
        "\"Bad\"=hex(q):01",
        "\"Bad\"=hex(123456789):01",
        "\"Bad\"=\"unterminated",
        "\"Bad\"=\"text\" trailing",
        "\"Bad\"=-",
        "\"Bad\"",
        "\"Bad=\"x\"",
        "\"Bad\"=word:1",
        "garbage",
        "\"Bad\x01\"=dword:1",
    };
    for (const char* bad : badLines) {
        const std::string text = std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Test]\n\"Before\"=dword:1\n") + bad +
                                 "\n\"After\"=dword:2\n";
        const regfile::ParseResult parsed = regfile::Parse(text);
        EXPECT_TRUE(parsed.isRegistryFile) << bad;
        EXPECT_EQ(parsed.skippedLines, 1u) << bad;
        const Key* key = regfile::FindKey(parsed.top, kTestKey);
        ASSERT_NE(key, nullptr) << bad;
        EXPECT_NE(regfile::FindValue(*key, "Before"), nullptr) << bad;
        EXPECT_NE(regfile::FindValue(*key, "After"), nullptr) << bad;
        EXPECT_EQ(regfile::FindValue(*key, "Bad"), nullptr) << bad;
    }
}

TEST(RegistryText, ValuesOfAKeyLineThatIsNotUnderstoodAreSkippedWithIt) {
    const char* const keyLines[] = {
        "[-HKEY_CURRENT_USER\\Software\\Test\\Gone]",
        "[HKEY_CURRENT_USER\\\\Software]",
        "[]",
        "[HKEY_CURRENT_USER\\Software\\Test\\Gone",
    };
    for (const char* keyLine : keyLines) {
        const std::string text = std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Test]\n\"Kept\"=dword:1\n") + keyLine +
                                 "\n\"Stray\"=dword:2\n\"Stray2\"=dword:3\n";
        const regfile::ParseResult parsed = regfile::Parse(text);
        EXPECT_EQ(parsed.skippedLines, 3u) << keyLine;
        const Key* key = regfile::FindKey(parsed.top, kTestKey);
        ASSERT_NE(key, nullptr) << keyLine;
        EXPECT_EQ(key->values.size(), 1u) << keyLine << ": values went to the key above";
    }
    EXPECT_EQ(regfile::Parse("REGEDIT4\n\"Early\"=dword:1\n").skippedLines, 1u) << "a value before any key";
}

TEST(RegistryText, TextThatIsNoRegistryFileGivesNothing) {
    const std::string cases[] = {
        "",
        "garbage\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=dword:1\n",
        std::string("\x00\x01\x02\xFF binary", 11),
        "REGEDIT5\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Test]\n",
        "\n\nREGEDIT4\n",
    };
    for (const std::string& text : cases) {
        const regfile::ParseResult parsed = regfile::Parse(text);
        EXPECT_FALSE(parsed.isRegistryFile) << '"' << text << '"';
        EXPECT_TRUE(parsed.top.subkeys.empty()) << '"' << text << '"';
    }
}

TEST(RegistryText, SizeIsBounded) {
    const std::string key = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n";
    const regfile::ParseResult tooLarge = regfile::Parse(key + std::string(regfile::kMaxFileSize, ';') + "\n");
    EXPECT_FALSE(tooLarge.isRegistryFile);

    const regfile::ParseResult longLine =
        regfile::Parse(key + "\"Long\"=\"" + std::string(regfile::kMaxLineLength, 'x') + "\"\n\"Short\"=dword:1\n");
    EXPECT_TRUE(longLine.isRegistryFile);
    EXPECT_EQ(longLine.skippedLines, 1u);
    const Key* test = regfile::FindKey(longLine.top, kTestKey);
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(regfile::FindValue(*test, "Long"), nullptr);
    EXPECT_NE(regfile::FindValue(*test, "Short"), nullptr);

    const std::string deep = key + "[HKEY_CURRENT_USER" + [] {
        std::string path;
        for (std::size_t i = 0; i < regfile::kMaxKeyDepth; ++i) path += "\\k";
        return path;
    }() + "]\n";
    EXPECT_EQ(regfile::Parse(deep).skippedLines, 1u) << "a key deeper than the limit";

    // Deep paths of one-letter names make many keys from few bytes; the count stops at the limit.
    std::string many = "REGEDIT4\n";
    for (int line = 0; many.size() < regfile::kMaxFileSize - 2000; ++line) {
        many += "[" + std::to_string(line);
        for (int depth = 0; depth < 500; ++depth) many += "\\k";
        many += "]\n\"V\"=dword:1\n";
    }
    const regfile::ParseResult crowded = regfile::Parse(many);
    EXPECT_TRUE(crowded.isRegistryFile);
    EXPECT_EQ(CountKeys(crowded.top), regfile::kMaxKeys);
    EXPECT_GT(crowded.skippedLines, 0u);
}

}  // namespace
}  // namespace orvane
