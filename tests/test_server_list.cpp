// Tests of the server list and of the choice of URL from the stored settings.
#include "config/ServerList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/SettingsStore.h"
#include "doubles/FakeRegistry.h"
#include "platform/Resources.h"
#include "platform/Seam.h"

namespace orvane {
namespace {

using test::FakeRegistry;

constexpr char kSectionPath[] = "HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration";

// The seven list entries, each text naming its own index so that a wrong pick shows in the message.
class FakeServerStrings : public IResources {
public:
    std::optional<std::string> LoadString(UINT id) override {
        loaded.push_back(id);
        if (id < IDS_SERVER_FIRST || id >= IDS_SERVER_FIRST + SERVER_COUNT) return std::nullopt;
        return Entry(static_cast<int>(id - IDS_SERVER_FIRST));
    }

    static std::string Entry(int index) { return "http://entry-" + std::to_string(index) + ".test:13"; }

    std::vector<UINT> loaded;
};

std::vector<BYTE> Dword(std::uint32_t value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

std::vector<BYTE> Sz(const std::string& text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

class ServerList : public ::testing::Test {
protected:
    ServerList() { AppSettings().SetKeyNames("Quintarro", "orvane"); }

    void Store(const std::string& name, DWORD type, std::vector<BYTE> data) {
        registry.Put(kSectionPath, name, type, std::move(data));
    }

    // The value names read by store operations, in order. Each store operation starts by opening
    // Software; a string read queries its value twice (size, then data) but is one read.
    std::vector<std::string> Reads() const {
        std::vector<std::string> names;
        bool named = true;
        for (const FakeRegistry::Call& call : registry.calls) {
            if (call.operation == "open") named = false;
            if (call.operation == "query" && !named) {
                names.push_back(call.valueName);
                named = true;
            }
        }
        return names;
    }

    FakeRegistry registry;
    FakeServerStrings strings;
    ScopedSeam<IRegistry> registrySeam{registry};
    ScopedSeam<IResources> stringsSeam{strings};
};

TEST(ClampServerIndex, KeepsListIndexesAndTurnsEverythingElseIntoZero) {
    const struct {
        std::int32_t index;
        std::int32_t expected;
    } cases[] = {
        {0, 0}, {1, 1}, {5, 5}, {6, 6}, {7, 0}, {100, 0}, {-1, 0}, {-7, 0},
        {std::numeric_limits<std::int32_t>::max(), 0}, {std::numeric_limits<std::int32_t>::min(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ClampServerIndex(c.index), c.expected) << "index " << c.index;
}

TEST_F(ServerList, UseListedServerOnlyWhenRadioButtonIsZeroOrMissing) {
    EXPECT_TRUE(UseListedServer()) << "nothing stored";
    const struct {
        std::uint32_t radioButton;
        bool expected;
    } cases[] = {{0, true}, {1, false}, {5, false}, {0xFFFFFFFF, false}, {0x100, false}};
    for (const auto& c : cases) {
        Store("RadioButton", REG_DWORD, Dword(c.radioButton));
        EXPECT_EQ(UseListedServer(), c.expected) << "RadioButton " << c.radioButton;
    }
}

TEST_F(ServerList, UrlFollowsTheStoredSettings) {
    struct Setting {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const struct {
        const char* what;
        std::vector<Setting> stored;
        std::string expected;
    } cases[] = {
        {"nothing stored", {}, FakeServerStrings::Entry(0)},
        {"listed server with an own URL stored",
         {{"RadioButton", REG_DWORD, Dword(0)}, {"URLIndex", REG_DWORD, Dword(3)}, {"URL", REG_SZ, Sz("http://own:13")}},
         FakeServerStrings::Entry(3)},
        {"own URL chosen by 1", {{"RadioButton", REG_DWORD, Dword(1)}, {"URL", REG_SZ, Sz("http://own:13")}},
         "http://own:13"},
        {"own URL chosen by 5",
         {{"RadioButton", REG_DWORD, Dword(5)}, {"URLIndex", REG_DWORD, Dword(2)}, {"URL", REG_SZ, Sz("http://own:13")}},
         "http://own:13"},
        {"own URL chosen but missing", {{"RadioButton", REG_DWORD, Dword(1)}}, ""},
        {"own URL chosen and empty", {{"RadioButton", REG_DWORD, Dword(1)}, {"URL", REG_SZ, Sz("")}}, ""},
        {"own URL with blanks", {{"RadioButton", REG_DWORD, Dword(1)}, {"URL", REG_SZ, Sz(" http://own:13  ")}},
         " http://own:13  "},
        {"last list entry", {{"URLIndex", REG_DWORD, Dword(6)}}, FakeServerStrings::Entry(6)},
        {"index past the list", {{"URLIndex", REG_DWORD, Dword(7)}}, FakeServerStrings::Entry(0)},
        {"index -1", {{"URLIndex", REG_DWORD, Dword(0xFFFFFFFF)}}, FakeServerStrings::Entry(0)},
        {"index -2147483648", {{"URLIndex", REG_DWORD, Dword(0x80000000)}}, FakeServerStrings::Entry(0)},
        {"radio button of 8 bytes reads as missing",
         {{"RadioButton", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}}, {"URLIndex", REG_DWORD, Dword(4)}},
         FakeServerStrings::Entry(4)},
    };
    for (const auto& c : cases) {
        registry.keys[kSectionPath].clear();
        for (const Setting& setting : c.stored) Store(setting.name, setting.type, setting.data);
        EXPECT_EQ(GetServerUrl(), c.expected) << c.what;
    }
}

TEST_F(ServerList, EveryListEntryIsLoadedByItsOwnStringId) {
    for (std::uint32_t index = 0; index < SERVER_COUNT; ++index) {
        Store("URLIndex", REG_DWORD, Dword(index));
        strings.loaded.clear();
        EXPECT_EQ(GetServerUrl(), FakeServerStrings::Entry(static_cast<int>(index)));
        EXPECT_EQ(strings.loaded, std::vector<UINT>{IDS_SERVER_FIRST + index}) << "index " << index;
    }
}

TEST_F(ServerList, EachUrlTakesExactlyTwoReadsAndTheChosenValueOnly) {
    Store("URLIndex", REG_DWORD, Dword(2));
    Store("URL", REG_SZ, Sz("http://own:13"));
    GetServerUrl();
    EXPECT_EQ(Reads(), (std::vector<std::string>{"RadioButton", "URLIndex"}));

    registry.calls.clear();
    Store("RadioButton", REG_DWORD, Dword(1));
    strings.loaded.clear();
    GetServerUrl();
    EXPECT_EQ(Reads(), (std::vector<std::string>{"RadioButton", "URL"}));
    EXPECT_TRUE(strings.loaded.empty()) << "an own URL loads no list entry";
}

TEST_F(ServerList, ReadingLeavesAnOutOfRangeIndexAsStored) {
    Store("URLIndex", REG_DWORD, Dword(9));
    EXPECT_EQ(GetServerUrl(), FakeServerStrings::Entry(0));
    for (const FakeRegistry::Call& call : registry.calls) EXPECT_NE(call.operation, "set") << call.valueName;
    EXPECT_EQ(registry.Find(kSectionPath, "URLIndex")->data, Dword(9));
}

TEST_F(ServerList, SavedChoiceCountsAtTheNextCall) {
    EXPECT_EQ(GetServerUrl(), FakeServerStrings::Entry(0));
    ASSERT_TRUE(AppSettings().WriteInt("Configuration", "URLIndex", 5));
    EXPECT_EQ(GetServerUrl(), FakeServerStrings::Entry(5));
    ASSERT_TRUE(AppSettings().WriteInt("Configuration", "RadioButton", 1));
    ASSERT_TRUE(AppSettings().WriteString("Configuration", "URL", "http://own:13"));
    EXPECT_EQ(GetServerUrl(), "http://own:13");
}

TEST_F(ServerList, StoreThatCannotBeReachedGivesTheFirstListEntry) {
    registry.keys.erase(FakeRegistry::kSoftware);
    EXPECT_TRUE(UseListedServer());
    EXPECT_EQ(GetServerUrl(), FakeServerStrings::Entry(0));
}

}  // namespace
}  // namespace orvane
