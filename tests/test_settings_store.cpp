// Tests of the settings store: its registry calls over a recording double, and its data in the real registry file.
#include "config/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "doubles/ByteText.h"
#include "doubles/FakeRegistry.h"
#include "linux/TempDir.h"
#include "platform/Seam.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/RegistryFile.h"

namespace orvane {
namespace {

using test::Bytes;
using test::FakeRegistry;
using test::Hex;

constexpr char kMakerPath[] = "HKEY_CURRENT_USER\\Software\\Quintarro";
constexpr char kAppPath[] = "HKEY_CURRENT_USER\\Software\\Quintarro\\orvane";
constexpr char kSectionPath[] = "HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration";

// ---------------------------------------------------------------------------------------------
// The store's registry calls, over a double.

class SettingsStoreCalls : public ::testing::Test {
protected:
    SettingsStoreCalls() { store.SetKeyNames("Quintarro", "orvane"); }

    // Every key that was opened or created was closed again, each with the access the store always asks for.
    void ExpectTidyCalls() const {
        EXPECT_EQ(registry.OpenHandles(), 0u) << "keys left open";
        for (const FakeRegistry::Call& call : registry.calls) {
            if (call.operation == "open" || call.operation == "create") {
                EXPECT_EQ(call.access, KEY_READ | KEY_WRITE) << call.operation << " " << call.path;
            }
            EXPECT_FALSE(call.operation == "create" && call.path == FakeRegistry::kSoftware)
                << "Software must only be opened";
        }
    }

    FakeRegistry registry;
    ScopedSeam<IRegistry> seam{registry};
    CSettingsStore store;
};

TEST_F(SettingsStoreCalls, FirstReadOfANewUserAnswersTheDefaultAndCreatesTheKeyPath) {
    EXPECT_EQ(store.GetInt("Configuration", "RadioButton", 7), 7u);

    std::vector<std::string> opened;
    for (const FakeRegistry::Call& call : registry.calls) {
        if (call.operation == "open" || call.operation == "create") opened.push_back(call.operation + " " + call.path);
    }
    const std::vector<std::string> expected = {std::string("open ") + FakeRegistry::kSoftware,
                                               std::string("create ") + kMakerPath, std::string("create ") + kAppPath,
                                               std::string("create ") + kSectionPath};
    EXPECT_EQ(opened, expected);
    EXPECT_EQ(registry.keys.count(kSectionPath), 1u);
    EXPECT_TRUE(registry.keys[kSectionPath].empty());
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, ReadsOfMissingValuesAnswerTheDefaultsAndWriteNothing) {
    EXPECT_EQ(store.GetInt("Configuration", "URLIndex", 3), 3u);
    EXPECT_EQ(store.GetInt("Configuration", "URLIndex", -1), 4294967295u);
    EXPECT_EQ(store.GetString("Configuration", "URL", "fallback"), "fallback");
    for (const FakeRegistry::Call& call : registry.calls) EXPECT_NE(call.operation, "set") << call.valueName;
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, IntegersAreStoredAsFourBytesLeastSignificantFirst) {
    const struct {
        std::int32_t value;
        std::vector<BYTE> bytes;
    } cases[] = {
        {1, {0x01, 0x00, 0x00, 0x00}},
        {0, {0x00, 0x00, 0x00, 0x00}},
        {-1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {0x12345678, {0x78, 0x56, 0x34, 0x12}},
        {std::numeric_limits<std::int32_t>::min(), {0x00, 0x00, 0x00, 0x80}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(store.WriteInt("Configuration", "URLIndex", c.value)) << c.value;
        const FakeRegistry::StoredValue* stored = registry.Find(kSectionPath, "URLIndex");
        ASSERT_NE(stored, nullptr) << c.value;
        EXPECT_EQ(stored->type, REG_DWORD) << c.value;
        EXPECT_EQ(Hex(stored->data), Hex(c.bytes)) << c.value;
        EXPECT_EQ(store.GetInt("Configuration", "URLIndex", 99), static_cast<std::uint32_t>(c.value)) << c.value;
    }
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, StringsAreStoredWithOneTerminatingZero) {
    const std::string cases[] = {"", "http://time.nist.gov:13", "  http://blanks.example:13 ", "caf\xE9 \x80\xFF"};
    for (const std::string& text : cases) {
        ASSERT_TRUE(store.WriteString("Configuration", "URL", text)) << text;
        const FakeRegistry::StoredValue* stored = registry.Find(kSectionPath, "URL");
        ASSERT_NE(stored, nullptr) << text;
        EXPECT_EQ(stored->type, REG_SZ) << text;
        std::vector<BYTE> expected = Bytes(text);
        expected.push_back(0);
        EXPECT_EQ(Hex(stored->data), Hex(expected)) << '"' << text << '"';
        EXPECT_EQ(store.GetString("Configuration", "URL", "default"), text);
    }
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, IntegerReadTakesAnyValueOfExactlyFourBytes) {
    const struct {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        std::uint32_t expected;
    } cases[] = {
        {"dword 49", REG_DWORD, {0x31, 0, 0, 0}, 49},
        {"binary of 4 bytes", REG_BINARY, {0x04, 0x03, 0x02, 0x01}, 0x01020304},
        {"string of 4 bytes", REG_SZ, {'a', 'b', 'c', 0}, 0x00636261},
        {"no data", REG_DWORD, {}, 77},
        {"1 byte", REG_DWORD, {0x05}, 77},
        {"3 bytes", REG_DWORD, {0x05, 0x06, 0x07}, 77},
        {"5 bytes", REG_DWORD, {1, 0, 0, 0, 0}, 77},
        {"8 bytes", 11, {1, 0, 0, 0, 0, 0, 0, 0}, 77},
    };
    for (const auto& c : cases) {
        registry.Put(kSectionPath, "Value", c.type, c.data);
        EXPECT_EQ(store.GetInt("Configuration", "Value", 77), c.expected) << c.what;
    }
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, StringReadTakesAnyValueUpToItsFirstZeroByte) {
    const struct {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        std::string expected;
    } cases[] = {
        {"dword 49", REG_DWORD, {0x31, 0, 0, 0}, "1"},
        {"string", REG_SZ, {'a', 'b', 'c', 0}, "abc"},
        {"string without its zero", REG_SZ, {'a', 'b', 'c'}, "abc"},
        {"string with a zero inside", REG_SZ, {'a', 'b', 0, 'c', 'd', 0}, "ab"},
        {"no data at all", REG_SZ, {}, ""},
        {"multi-string", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, "a"},
        {"binary", REG_BINARY, {0xE9, 0x7F, 0x01}, "\xE9\x7F\x01"},
    };
    for (const auto& c : cases) {
        registry.Put(kSectionPath, "Value", c.type, c.data);
        EXPECT_EQ(store.GetString("Configuration", "Value", "default"), c.expected) << c.what;
    }
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, WritingOverAValueOfAnotherTypeReplacesItsType) {
    registry.Put(kSectionPath, "URLIndex", REG_SZ, Bytes(std::string("3", 2)));
    ASSERT_TRUE(store.WriteInt("Configuration", "URLIndex", 2));
    EXPECT_EQ(registry.Find(kSectionPath, "URLIndex")->type, REG_DWORD);
    EXPECT_EQ(Hex(registry.Find(kSectionPath, "URLIndex")->data), "02 00 00 00");

    registry.Put(kSectionPath, "URL", REG_DWORD, {1, 2, 3, 4});
    ASSERT_TRUE(store.WriteString("Configuration", "URL", "x"));
    EXPECT_EQ(registry.Find(kSectionPath, "URL")->type, REG_SZ);
    EXPECT_EQ(Hex(registry.Find(kSectionPath, "URL")->data), "78 00");
}

TEST_F(SettingsStoreCalls, ValueThatGrowsBetweenTheTwoQueriesOfAStringReadGivesTheDefault) {
    registry.Put(kSectionPath, "URL", REG_SZ, Bytes(std::string("short", 6)));
    int queries = 0;
    registry.beforeQuery = [&] {
        // Another copy of the program saves a longer URL after the size was asked for.
        if (++queries == 2) registry.Put(kSectionPath, "URL", REG_SZ, Bytes(std::string("much longer", 12)));
    };
    EXPECT_EQ(store.GetString("Configuration", "URL", "default"), "default");
    EXPECT_EQ(queries, 2);
    ExpectTidyCalls();
}

TEST_F(SettingsStoreCalls, KeysAreNamedByMakerApplicationAndSection) {
    store.SetKeyNames("Maker", "tool");
    ASSERT_TRUE(store.WriteInt("Section", "Value", 5));
    EXPECT_NE(registry.Find("HKEY_CURRENT_USER\\Software\\Maker\\tool\\Section", "Value"), nullptr);
}

// Each case makes one key of the chain unavailable; the store then answers defaults and false.
TEST_F(SettingsStoreCalls, KeyChainThatCannotBeHadGivesDefaultsAndFailedWrites) {
    const struct {
        const char* what;
        const char* refusedPath;  // null: Software itself is missing
    } cases[] = {
        {"Software missing", nullptr},
        {"maker key refused", kMakerPath},
        {"application key refused", kAppPath},
        {"section key refused", kSectionPath},
    };
    for (const auto& c : cases) {
        FakeRegistry broken;
        const ScopedSeam<IRegistry> brokenSeam(broken);
        if (c.refusedPath == nullptr) {
            broken.keys.erase(FakeRegistry::kSoftware);
        } else {
            broken.refuseCreate.insert(c.refusedPath);
        }
        EXPECT_EQ(store.GetInt("Configuration", "URLIndex", 4), 4u) << c.what;
        EXPECT_EQ(store.GetString("Configuration", "URL", "default"), "default") << c.what;
        EXPECT_FALSE(store.WriteInt("Configuration", "URLIndex", 1)) << c.what;
        EXPECT_FALSE(store.WriteString("Configuration", "URL", "x")) << c.what;
        EXPECT_EQ(broken.OpenHandles(), 0u) << c.what << ": keys left open";
        for (const FakeRegistry::Call& call : broken.calls) {
            EXPECT_TRUE(call.operation != "set" && call.operation != "query")
                << c.what << ": " << call.operation << " " << call.valueName;
            if (c.refusedPath == nullptr) {
                EXPECT_NE(call.operation, "create") << c.what << ": " << call.path;
            }
        }
        EXPECT_EQ(broken.keys.count(kSectionPath), 0u) << c.what;
    }
}

TEST_F(SettingsStoreCalls, RefusedValueWriteAnswersFalse) {
    registry.refuseSet = true;
    EXPECT_FALSE(store.WriteInt("Configuration", "URLIndex", 1));
    EXPECT_FALSE(store.WriteString("Configuration", "URL", "x"));
    ExpectTidyCalls();
}

// ---------------------------------------------------------------------------------------------
// The store over the real registry file, in a folder of the test's own.

class SettingsStoreFile : public ::testing::Test {
protected:
    SettingsStoreFile() {
        regfile::SetRegistryFilePathForTesting(file);
        store.SetKeyNames("Quintarro", "orvane");
    }
    ~SettingsStoreFile() override { regfile::SetRegistryFilePathForTesting(""); }

    std::string Text() const { return test::ReadWholeFile(file); }

    // Reads a value straight through the registry, bypassing the store.
    std::vector<BYTE> RawValue(const std::string& name, DWORD* type) const {
        HKEY key = 0;
        HKEY software = 0;
        std::vector<BYTE> data(64);
        EXPECT_EQ(native->RegOpenKeyEx(HKEY_CURRENT_USER, "Software", KEY_READ, &software), ERROR_SUCCESS);
        HKEY maker = 0, app = 0;
        EXPECT_EQ(native->RegOpenKeyEx(software, "Quintarro", KEY_READ, &maker), ERROR_SUCCESS);
        EXPECT_EQ(native->RegOpenKeyEx(maker, "orvane", KEY_READ, &app), ERROR_SUCCESS);
        EXPECT_EQ(native->RegOpenKeyEx(app, "Configuration", KEY_READ, &key), ERROR_SUCCESS);
        auto size = static_cast<DWORD>(data.size());
        EXPECT_EQ(native->RegQueryValueEx(key, name, type, data.data(), &size), ERROR_SUCCESS) << name;
        data.resize(size);
        for (const HKEY k : {key, app, maker, software}) native->RegCloseKey(k);
        return data;
    }

    void PutRaw(const std::string& name, DWORD type, const std::vector<BYTE>& data) const {
        HKEY key = 0;
        HKEY software = 0;
        ASSERT_EQ(native->RegOpenKeyEx(HKEY_CURRENT_USER, "Software", KEY_READ, &software), ERROR_SUCCESS);
        HKEY maker = 0, app = 0;
        ASSERT_EQ(native->RegCreateKeyEx(software, "Quintarro", KEY_WRITE, &maker), ERROR_SUCCESS);
        ASSERT_EQ(native->RegCreateKeyEx(maker, "orvane", KEY_WRITE, &app), ERROR_SUCCESS);
        ASSERT_EQ(native->RegCreateKeyEx(app, "Configuration", KEY_WRITE, &key), ERROR_SUCCESS);
        ASSERT_EQ(native->RegSetValueEx(key, name, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
        for (const HKEY k : {key, app, maker, software}) native->RegCloseKey(k);
    }

    test::TempDir dir;
    std::string file = dir / "config/orvane/registry.reg";
    // The test must reach the real file, not a double.
    CFileRegistry fileRegistry;
    const ScopedSeam<IRegistry> registrySeam{fileRegistry};
    IRegistry* native = &fileRegistry;
    CSettingsStore store;
};

TEST_F(SettingsStoreFile, FirstReadAnswersTheDefaultAndLeavesTheEmptyKeyPathInTheFile) {
    EXPECT_EQ(store.GetInt("Configuration", "RadioButton", 0), 0u);
    EXPECT_EQ(store.GetString("Configuration", "URL", ""), "");
    EXPECT_EQ(Text(),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER]\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quintarro]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]\n\n");
}

TEST_F(SettingsStoreFile, SavedSettingsReadBackAndReadAsRegeditWouldWriteThem) {
    ASSERT_TRUE(store.WriteInt("Configuration", "RadioButton", 1));
    ASSERT_TRUE(store.WriteInt("Configuration", "URLIndex", 6));
    ASSERT_TRUE(store.WriteString("Configuration", "URL", "http://time.nist.gov:13"));
    ASSERT_TRUE(store.WriteString("Configuration", "Empty", ""));

    EXPECT_EQ(store.GetInt("Configuration", "RadioButton", 0), 1u);
    EXPECT_EQ(store.GetInt("Configuration", "URLIndex", 0), 6u);
    EXPECT_EQ(store.GetString("Configuration", "URL", ""), "http://time.nist.gov:13");
    EXPECT_EQ(store.GetString("Configuration", "Empty", "default"), "");
    const std::string text = Text();
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]\n"
                        "\"RadioButton\"=dword:00000001\n"
                        "\"URLIndex\"=dword:00000006\n"
                        "\"URL\"=\"http://time.nist.gov:13\"\n"
                        "\"Empty\"=\"\"\n\n"),
              std::string::npos)
        << text;
}

TEST_F(SettingsStoreFile, ValuesKeepTheirBytesAndTypesInTheFile) {
    DWORD type = 0;
    ASSERT_TRUE(store.WriteInt("Configuration", "Number", 1));
    EXPECT_EQ(Hex(RawValue("Number", &type)), "01 00 00 00");
    EXPECT_EQ(type, REG_DWORD);

    ASSERT_TRUE(store.WriteString("Configuration", "Text", ""));
    EXPECT_EQ(Hex(RawValue("Text", &type)), "00");
    EXPECT_EQ(type, REG_SZ);

    ASSERT_TRUE(store.WriteInt("Configuration", "Digit", 49));
    EXPECT_EQ(store.GetString("Configuration", "Digit", "default"), "1");

    PutRaw("Wide", 11, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(store.GetInt("Configuration", "Wide", 42), 42u);

    ASSERT_TRUE(store.WriteString("Configuration", "Number", "now text"));
    EXPECT_EQ(Hex(RawValue("Number", &type)), Hex(Bytes(std::string("now text", 9))));
    EXPECT_EQ(type, REG_SZ);
    ASSERT_TRUE(store.WriteInt("Configuration", "Number", -2));
    EXPECT_EQ(Hex(RawValue("Number", &type)), "fe ff ff ff");
    EXPECT_EQ(type, REG_DWORD);
}

TEST_F(SettingsStoreFile, ChangeMadeByAnotherCopyIsSeenByTheNextRead) {
    ASSERT_TRUE(store.WriteString("Configuration", "URL", "http://first.example:13"));
    // Another copy of the program, or a person with an editor, replaces the file.
    test::WriteWholeFile(file,
                         "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]\n"
                         "\"URL\"=\"http://second.example:13\"\n");
    EXPECT_EQ(store.GetString("Configuration", "URL", ""), "http://second.example:13");
}

TEST_F(SettingsStoreFile, LocationThatCannotBeWrittenGivesDefaultsAndFailedWrites) {
    // A regular file where the folder should be stops root as well as anyone.
    test::WriteWholeFile(dir / "config", "not a folder");
    EXPECT_EQ(store.GetInt("Configuration", "URLIndex", 3), 3u);
    EXPECT_EQ(store.GetString("Configuration", "URL", "default"), "default");
    EXPECT_FALSE(store.WriteInt("Configuration", "URLIndex", 1));
    EXPECT_FALSE(store.WriteString("Configuration", "URL", "x"));
    EXPECT_EQ(test::ReadWholeFile(dir / "config"), "not a folder");
}

}  // namespace
}  // namespace orvane
