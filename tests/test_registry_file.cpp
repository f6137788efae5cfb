// Tests of the Linux registry file: the native registry over a real file, and where the file lives.
#include "platform/linux/PlatformServices.h"
#include "platform/linux/RegistryFile.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "doubles/ByteText.h"
#include "linux/TempDir.h"
#include "platform/Registry.h"

namespace orvane {
namespace {

using regfile::Key;
using regfile::Value;
using test::Bytes;
using test::Hex;
using test::Lines;

std::vector<std::string> FolderListing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------------------------
// The native registry over a real file in the test's own folder.

class NativeRegistry : public ::testing::Test {
protected:
    NativeRegistry() { regfile::SetRegistryFilePathForTesting(file); }
    ~NativeRegistry() override {
        for (const HKEY key : opened) registry.RegCloseKey(key);
        regfile::SetRegistryFilePathForTesting("");
    }

    // HKEY_CURRENT_USER\Software\Test, created when missing; closed when the test ends.
    HKEY TestKey() {
        HKEY software = Open(HKEY_CURRENT_USER, "Software");
        HKEY key = 0;
        EXPECT_EQ(registry.RegCreateKeyEx(software, "Test", KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS);
        opened.push_back(key);
        return key;
    }

    HKEY Open(HKEY parent, const std::string& name) {
        HKEY key = 0;
        EXPECT_EQ(registry.RegOpenKeyEx(parent, name, KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS) << name;
        opened.push_back(key);
        return key;
    }

    LONG Set(HKEY key, const std::string& name, DWORD type, const std::vector<BYTE>& data) {
        return registry.RegSetValueEx(key, name, type, data.data(), static_cast<DWORD>(data.size()));
    }

    // The value as a fresh query finds it, or nothing.
    std::optional<Value> Get(HKEY key, const std::string& name) {
        DWORD size = 0;
        DWORD type = 0;
        if (registry.RegQueryValueEx(key, name, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        std::vector<BYTE> data(size);
        if (registry.RegQueryValueEx(key, name, &type, data.data(), &size) != ERROR_SUCCESS) return std::nullopt;
        data.resize(size);
        return Value{name, type, data};
    }

    std::string Text() const { return test::ReadWholeFile(file); }

    test::TempDir dir;
    std::string folder = dir / "config/orvane";
    std::string file = folder + "/registry.reg";
    CFileRegistry fileRegistry;
    IRegistry& registry = fileRegistry;
    std::vector<HKEY> opened;
};

TEST_F(NativeRegistry, EveryTypeAndAwkwardByteReadsBackExactly) {
    const std::string longText(70000, 'x');
    const struct {
        const char* what;
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
        const char* line;  // the value's line in the file; null: not checked
    } cases[] = {
        {"plain string", "URL", REG_SZ, Bytes(std::string("http://a:13", 12)), "\"URL\"=\"http://a:13\""},
        {"quotes and backslashes", "Q", REG_SZ, Bytes(std::string("say \"hi\" \\", 11)), "\"Q\"=\"say \\\"hi\\\" \\\\\""},
        {"empty string", "E", REG_SZ, {0}, "\"E\"=\"\""},
        {"8-bit string", "H", REG_SZ, Bytes(std::string("caf\xE9", 5)), "\"H\"=hex(1):63,61,66,e9,00"},
        {"tab", "T", REG_SZ, Bytes(std::string("a\tb", 4)), "\"T\"=hex(1):61,09,62,00"},
        {"line break", "N", REG_SZ, Bytes(std::string("a\r\nb", 5)), "\"N\"=hex(1):61,0d,0a,62,00"},
        {"zero inside", "Z", REG_SZ, Bytes(std::string("a\0b", 4)), "\"Z\"=hex(1):61,00,62,00"},
        {"no terminating zero", "U", REG_SZ, Bytes("ab"), "\"U\"=hex(1):61,62"},
        {"two terminating zeros", "D", REG_SZ, Bytes(std::string("a\0", 3)), "\"D\"=hex(1):61,00,00"},
        {"string without data", "S0", REG_SZ, {}, "\"S0\"=hex(1):"},
        {"string looking like folded hex", "F", REG_SZ, Bytes(std::string("=hex:1\\", 8)), "\"F\"=\"=hex:1\\\\\""},
        {"string too long for one line", "L", REG_SZ, Bytes(longText + '\0'), nullptr},
        {"dword", "DW", REG_DWORD, {0xEF, 0xBE, 0xAD, 0xDE}, "\"DW\"=dword:deadbeef"},
        {"dword of 3 bytes", "D3", REG_DWORD, {1, 2, 3}, "\"D3\"=hex(4):01,02,03"},
        {"binary without data", "B0", REG_BINARY, {}, "\"B0\"=hex:"},
        {"every byte", "B", REG_BINARY,
         [] {
             std::vector<BYTE> all;
             for (int i = 0; i < 256; ++i) all.push_back(static_cast<BYTE>(i));
             return all;
         }(),
         nullptr},
        {"expandable string", "X", REG_EXPAND_SZ, Bytes(std::string("%HOME%", 7)), "\"X\"=hex(2):25,48,4f,4d,45,25,00"},
        {"multi-string", "M", REG_MULTI_SZ, Bytes(std::string("a\0b\0", 5)), "\"M\"=hex(7):61,00,62,00,00"},
        {"no type", "None", REG_NONE, {}, "\"None\"=hex(0):"},
        {"64-bit number", "Q64", 11, {1, 2, 3, 4, 5, 6, 7, 8}, "\"Q64\"=hex(b):01,02,03,04,05,06,07,08"},
        {"unknown type", "Odd", 0xFFFFFFFF, {0x7F}, "\"Odd\"=hex(ffffffff):7f"},
        {"default value", "", REG_SZ, Bytes(std::string("d", 2)), "@=\"d\""},
        {"value named @", "@", REG_DWORD, {1, 0, 0, 0}, "\"@\"=dword:00000001"},
        {"name with quote and backslash", "a\"b\\c", REG_DWORD, {2, 0, 0, 0}, "\"a\\\"b\\\\c\"=dword:00000002"},
        {"name with 8-bit byte", "n\xE9", REG_DWORD, {3, 0, 0, 0}, "\"n\xE9\"=dword:00000003"},
        {"name with equals sign and bracket", "a=b]", REG_SZ, Bytes(std::string("x", 2)), "\"a=b]\"=\"x\""},
    };
    const HKEY key = TestKey();
    for (const auto& c : cases) ASSERT_EQ(Set(key, c.name, c.type, c.data), ERROR_SUCCESS) << c.what;

    const std::string text = Text();
    for (const std::string& line : Lines(text)) EXPECT_LE(line.size(), regfile::kMaxLineLength);
    for (const auto& c : cases) {
        const std::optional<Value> value = Get(key, c.name);
        ASSERT_TRUE(value.has_value()) << c.what;
        EXPECT_EQ(value->type, c.type) << c.what;
        EXPECT_EQ(value->data.size(), c.data.size()) << c.what;
        if (c.data.size() < 300) {
            EXPECT_EQ(Hex(value->data), Hex(c.data)) << c.what;
        } else {
            EXPECT_TRUE(value->data == c.data) << c.what;
        }
        if (c.line != nullptr) {
            EXPECT_NE(text.find(std::string("\n") + c.line + "\n"), std::string::npos) << c.what << "\n" << text;
        }
    }
}

TEST_F(NativeRegistry, ReadsOfANewUserFindSoftwareAndCreateNoFile) {
    const HKEY software = Open(HKEY_CURRENT_USER, "Software");
    HKEY key = 0;
    EXPECT_EQ(registry.RegOpenKeyEx(software, "Quintarro", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);
    DWORD size = 0;
    EXPECT_EQ(registry.RegQueryValueEx(software, "Anything", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(dir / "config")) << "reads must not create the folder";
}

TEST_F(NativeRegistry, CreatedKeysShowAsTheirOwnLinesInAnOwnerOnlyFile) {
    const HKEY test = TestKey();
    HKEY inner = 0;
    ASSERT_EQ(registry.RegCreateKeyEx(test, "Inner", KEY_WRITE, &inner), ERROR_SUCCESS);
    opened.push_back(inner);
    EXPECT_EQ(Text(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Test]\n\n[HKEY_CURRENT_USER\\Software\\Test\\Inner]\n\n");

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << std::oct << (info.st_mode & 07777);
    for (const std::string& created : {dir / "config", folder}) {
        ASSERT_EQ(::stat(created.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u) << created << " " << std::oct << (info.st_mode & 07777);
    }
    ASSERT_EQ(Set(test, "V", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    // The temporary file of every write was renamed into place, none is left lying about.
    EXPECT_EQ(FolderListing(folder), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(NativeRegistry, QueryFollowsTheWindowsProtocol) {
    const HKEY key = TestKey();
    ASSERT_EQ(Set(key, "V", REG_BINARY, {1, 2, 3, 4, 5}), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(registry.RegQueryValueEx(key, "V", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, REG_BINARY);

    BYTE small[4] = {};
    size = sizeof small;
    EXPECT_EQ(registry.RegQueryValueEx(key, "V", nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);

    BYTE large[8] = {};
    size = sizeof large;
    EXPECT_EQ(registry.RegQueryValueEx(key, "v", nullptr, large, &size), ERROR_SUCCESS) << "names ignore case";
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(Hex(std::vector<BYTE>(large, large + 5)), "01 02 03 04 05");

    EXPECT_EQ(registry.RegQueryValueEx(key, "V", nullptr, large, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry.RegQueryValueEx(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(NativeRegistry, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    const HKEY key = TestKey();
    ASSERT_EQ(Set(key, "RadioButton", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "RADIOBUTTON", REG_DWORD, {2, 0, 0, 0}), ERROR_SUCCESS);
    const HKEY again = Open(Open(HKEY_CURRENT_USER, "SOFTWARE"), "test");
    ASSERT_TRUE(Get(again, "radiobutton").has_value());
    EXPECT_EQ(Hex(Get(again, "radiobutton")->data), "02 00 00 00");
    EXPECT_NE(Text().find("\"RadioButton\"=dword:00000002\n"), std::string::npos) << Text();
}

TEST_F(NativeRegistry, NamesTheFileCannotHoldAreRefused) {
    const HKEY key = TestKey();
    HKEY created = 0;
    const std::string refusedKeys[] = {"a\\b", "line\nbreak", "tab\t", std::string(256, 'k'), std::string("nul\0", 4)};
    for (const std::string& name : refusedKeys) {
        EXPECT_EQ(registry.RegCreateKeyEx(key, name, KEY_WRITE, &created), ERROR_INVALID_PARAMETER) << name;
        EXPECT_EQ(registry.RegOpenKeyEx(key, name, KEY_READ, &created), ERROR_FILE_NOT_FOUND) << name;
    }
    EXPECT_EQ(registry.RegCreateKeyEx(key, std::string(255, 'k'), KEY_WRITE, &created), ERROR_SUCCESS);
    opened.push_back(created);
    for (const std::string& name : {std::string("line\nbreak"), std::string("del\x7F"), std::string(16384, 'v')}) {
        EXPECT_EQ(Set(key, name, REG_DWORD, {1, 0, 0, 0}), ERROR_INVALID_PARAMETER) << name.substr(0, 20);
    }
    EXPECT_EQ(registry.RegSetValueEx(key, "V", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
}

TEST_F(NativeRegistry, SomethingElseThanAFileInItsPlaceReadsAsDamaged) {
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    // Opening a FIFO for reading would wait for a writer that never comes.
    EXPECT_EQ(regfile::CRegistryFile(file).Load().state, regfile::FileState::Damaged);
    const HKEY test = TestKey();
    ASSERT_EQ(Set(test, "V", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    EXPECT_EQ(regfile::CRegistryFile(file).Load().state, regfile::FileState::Sound);
}

TEST_F(NativeRegistry, HandlesAreCheckedAndClosedOnce) {
    const HKEY software = Open(HKEY_CURRENT_USER, "Software");
    HKEY same = 0;
    ASSERT_EQ(registry.RegOpenKeyEx(software, "", KEY_READ, &same), ERROR_SUCCESS) << "an empty name opens the key again";
    EXPECT_NE(same, software);
    EXPECT_EQ(registry.RegCloseKey(same), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(same), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(registry.RegQueryValueEx(same, "V", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.RegSetValueEx(same, "V", REG_NONE, nullptr, 0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

    const HKEY localMachine = 0x80000002u;
    HKEY key = 0;
    EXPECT_EQ(registry.RegOpenKeyEx(localMachine, "Software", KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.RegCreateKeyEx(localMachine, "Software", KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(NativeRegistry, FileChangedByHandIsReadAtTheNextCall) {
    const HKEY key = TestKey();
    ASSERT_EQ(Set(key, "V", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    test::WriteWholeFile(file, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=dword:00000007\n");
    ASSERT_TRUE(Get(key, "V").has_value());
    EXPECT_EQ(Hex(Get(key, "V")->data), "07 00 00 00");

    // A key that vanished under an open handle comes back with the next value written through it.
    test::WriteWholeFile(file, "REGEDIT4\n\n");
    EXPECT_FALSE(Get(key, "V").has_value());
    ASSERT_EQ(Set(key, "W", REG_DWORD, {2, 0, 0, 0}), ERROR_SUCCESS);
    EXPECT_NE(Text().find("[HKEY_CURRENT_USER\\Software\\Test]\n\"W\"=dword:00000002\n"), std::string::npos) << Text();
}

TEST_F(NativeRegistry, DamagedFileReadsAsEmptyAndIsKeptBesideTheNextWrite) {
    const struct {
        const char* what;
        std::string content;
        bool goodValueSurvives;  // the file's one good value is still read
    } cases[] = {
        {"binary garbage", std::string("\x00\x9F\xFF garbage\n\x01", 13), false},
        {"no header", "[HKEY_CURRENT_USER\\Software\\Test]\n\"Good\"=dword:1\n", false},
        {"oversized", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"Good\"=dword:1\n" +
                          std::string(regfile::kMaxFileSize, ';'),
         false},
        {"one bad line", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Test]\n\"Good\"=dword:1\nmangled\n", true},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir / "config");
        std::filesystem::create_directories(folder);
        test::WriteWholeFile(file, c.content);

        const HKEY software = Open(HKEY_CURRENT_USER, "Software");
        HKEY key = 0;
        const LONG openResult = registry.RegOpenKeyEx(software, "Test", KEY_READ, &key);
        EXPECT_EQ(openResult == ERROR_SUCCESS, c.goodValueSurvives) << c.what << ": open gave " << openResult;
        if (openResult == ERROR_SUCCESS) registry.RegCloseKey(key);
        EXPECT_EQ(test::ReadWholeFile(file), c.content) << c.what << ": reading changed the file";

        const HKEY test = TestKey();
        ASSERT_EQ(Set(test, "New", REG_DWORD, {5, 0, 0, 0}), ERROR_SUCCESS) << c.what;
        ASSERT_EQ(Set(test, "Newer", REG_DWORD, {6, 0, 0, 0}), ERROR_SUCCESS) << c.what;

        std::vector<std::string> backups;
        for (const std::string& name : FolderListing(folder)) {
            if (name.rfind("registry.reg.damaged-", 0) == 0) backups.push_back(name);
        }
        ASSERT_EQ(backups.size(), 1u) << c.what << ": one backup, made by the first write only";
        EXPECT_TRUE(test::ReadWholeFile(folder + "/" + backups[0]) == c.content) << c.what << ": backup differs";
        EXPECT_EQ(regfile::CRegistryFile(file).Load().state, regfile::FileState::Sound) << c.what;
        EXPECT_EQ(Get(test, "Good").has_value(), c.goodValueSurvives) << c.what;
        EXPECT_TRUE(Get(test, "New").has_value() && Get(test, "Newer").has_value()) << c.what;
    }
}

TEST_F(NativeRegistry, CopiesLeftByKilledWritersGoWithTheNextWriteAndNothingElseDoes) {
    const HKEY test = TestKey();
    ASSERT_EQ(Set(test, "V", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    // What a writer killed before its rename leaves: a copy named as mkstemp names it.
    const std::vector<std::string> leftovers = {"registry.reg.tmp-a1B2c3", "registry.reg.tmp-ZZZZZZ"};
    // A person's copy, the backup of a damaged file, and names near the copies' own.
    const std::vector<std::string> kept = {
        "registry.reg.backup",      "registry.reg.damaged-20240704T092001Z",
        "registry.reg.tmp-",        "registry.reg.tmp-abcde",
        "registry.reg.tmp-abcdefg", "registry.reg.tmp-abc.de",
        "registry.regtmp-abcdef",   "registry.reg.tmp-abcdef.old",
        "other.reg.tmp-abcdef",     "xregistry.reg.tmp-abcdef",
    };
    for (const std::string& name : leftovers) test::WriteWholeFile(folder + "/" + name, "REGEDIT4\n");
    for (const std::string& name : kept) test::WriteWholeFile(folder + "/" + name, "a file of " + name);
    // A copy's name on something that is no plain file.
    ASSERT_EQ(::mkdir((folder + "/registry.reg.tmp-folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("registry.reg", (folder + "/registry.reg.tmp-linked").c_str()), 0);

    ASSERT_EQ(Set(test, "V", REG_DWORD, {2, 0, 0, 0}), ERROR_SUCCESS);
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), {"registry.reg", "registry.reg.lock", "registry.reg.tmp-folder", "registry.reg.tmp-linked"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderListing(folder), expected);
    for (const std::string& name : kept) EXPECT_EQ(test::ReadWholeFile(folder + "/" + name), "a file of " + name) << name;
    EXPECT_EQ(Get(test, "V").value_or(Value{}).data, (std::vector<BYTE>{2, 0, 0, 0}));
}

TEST_F(NativeRegistry, LocationThatIsNoFolderMakesWritesFail) {
    const HKEY test = TestKey();
    // Root writes anywhere, but not below a regular file.
    regfile::SetRegistryFilePathForTesting(dir / "plain/orvane/registry.reg");
    test::WriteWholeFile(dir / "plain", "a file");
    HKEY key = 0;
    EXPECT_NE(registry.RegCreateKeyEx(HKEY_CURRENT_USER, "Other", KEY_WRITE, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, 0u);
    EXPECT_NE(Set(test, "V", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    EXPECT_EQ(test::ReadWholeFile(dir / "plain"), "a file");
}

TEST_F(NativeRegistry, ValueTooLargeForTheFileIsRefusedAndTheFileKept) {
    const HKEY test = TestKey();
    ASSERT_EQ(Set(test, "Small", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    const std::string before = Text();
    EXPECT_NE(Set(test, "Huge", REG_BINARY, std::vector<BYTE>(regfile::kMaxFileSize / 2, 0xAB)), ERROR_SUCCESS);
    EXPECT_EQ(Text(), before);
    EXPECT_FALSE(Get(test, "Huge").has_value());
}

// Exit codes of the child in the read-only case.
constexpr int kChildPassed = 0;
constexpr int kChildCannotDropRoot = 90;
constexpr int kChildCannotRead = 91;
constexpr int kChildCreated = 92;
constexpr int kChildWrote = 93;
constexpr int kChildLostValue = 94;

TEST_F(NativeRegistry, ReadOnlyFolderMakesWritesFailAndKeepsTheOldContent) {
    const HKEY test = TestKey();
    ASSERT_EQ(Set(test, "Old", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    const std::string before = Text();
    const std::vector<std::string> listing = FolderListing(folder);

    // Root ignores permissions, so the writing is done by a child that has given up root; the
    // folder then belongs to the user it has become.
    const bool root = ::geteuid() == 0;
    constexpr uid_t kNobody = 65534;
    if (root) {
        for (const std::string& path : {dir.Path(), dir / "config", folder, file, folder + "/registry.reg.lock"}) {
            ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0) << path;
        }
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(kChildCannotDropRoot);
        }
        // Still able to write (a capability, or a file system that ignores modes): nothing to test.
        const std::string probe = folder + "/probe";
        if (::mkdir(probe.c_str(), 0700) == 0) ::_exit(kChildCannotDropRoot);
        if (::access(file.c_str(), R_OK) != 0) ::_exit(kChildCannotRead);

        HKEY key = 0;
        if (registry.RegCreateKeyEx(test, "New", KEY_WRITE, &key) == ERROR_SUCCESS) ::_exit(kChildCreated);
        const BYTE data[4] = {2, 0, 0, 0};
        if (registry.RegSetValueEx(test, "Old", REG_DWORD, data, 4) == ERROR_SUCCESS) ::_exit(kChildWrote);
        BYTE read[4] = {};
        DWORD size = sizeof read;
        if (registry.RegQueryValueEx(test, "Old", nullptr, read, &size) != ERROR_SUCCESS || read[0] != 1) {
            ::_exit(kChildLostValue);
        }
        ::_exit(kChildPassed);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ::chmod(folder.c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status)) << "child status " << status;
    const int code = WEXITSTATUS(status);
    if (code == kChildCannotDropRoot) GTEST_SKIP() << "no user here is stopped by a read-only folder";
    if (code == kChildCannotRead) GTEST_SKIP() << "the unprivileged user cannot reach " << dir.Path();
    EXPECT_EQ(code, kChildPassed) << "92: created a key, 93: wrote a value, 94: lost the old value";
    EXPECT_EQ(Text(), before);
    EXPECT_EQ(FolderListing(folder), listing);
}

TEST_F(NativeRegistry, ConcurrentWritersInProcessesAndThreadsAllSurvive) {
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 20;
    const auto write = [this](const std::string& prefix) {
        HKEY software = 0, key = 0;
        bool ok = registry.RegOpenKeyEx(HKEY_CURRENT_USER, "Software", KEY_WRITE, &software) == ERROR_SUCCESS &&
                  registry.RegCreateKeyEx(software, "Test", KEY_WRITE, &key) == ERROR_SUCCESS;
        for (int i = 0; ok && i < kValuesEach; ++i) {
            const std::string data = prefix + std::to_string(i);
            ok = registry.RegSetValueEx(key, data, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                        static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
        }
        registry.RegCloseKey(key);
        registry.RegCloseKey(software);
        return ok;
    };

    // The processes are forked before any thread runs.
    std::fflush(nullptr);
    std::vector<pid_t> children;
    for (int p = 0; p < kWriters; ++p) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) ::_exit(write("process" + std::to_string(p) + "-") ? 0 : 1);
        children.push_back(child);
    }
    std::vector<std::thread> threads;
    std::vector<int> threadOk(kWriters, 0);
    for (int t = 0; t < kWriters; ++t) {
        threads.emplace_back([&, t] { threadOk[static_cast<std::size_t>(t)] = write("thread" + std::to_string(t) + "-"); });
    }
    for (std::thread& thread : threads) thread.join();
    for (const pid_t child : children) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer process " << child << " status " << status;
    }
    for (int t = 0; t < kWriters; ++t) EXPECT_EQ(threadOk[static_cast<std::size_t>(t)], 1) << "writer thread " << t;

    const HKEY key = TestKey();
    int missing = 0;
    for (const char* kind : {"process", "thread"}) {
        for (int w = 0; w < kWriters; ++w) {
            for (int i = 0; i < kValuesEach; ++i) {
                const std::string name = kind + std::to_string(w) + "-" + std::to_string(i);
                const std::optional<Value> value = Get(key, name);
                if (!value || value->data != Bytes(name + '\0')) {
                    ++missing;
                    ADD_FAILURE() << "lost " << name;
                }
            }
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(regfile::CRegistryFile(file).Load().state, regfile::FileState::Sound);
}

// ---------------------------------------------------------------------------------------------
// Where the file lives.

class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) saved_ = value;
    }
    ~EnvironmentVariable() {
        if (saved_) {
            ::setenv(name_, saved_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    void Set(const char* value) {
        if (value != nullptr) {
            ::setenv(name_, value, 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(RegistryFilePath, FollowsTheXdgConfigFolder) {
    EnvironmentVariable config("XDG_CONFIG_HOME");
    EnvironmentVariable home("HOME");
    const struct {
        const char* config;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/srv/cfg", "/home/u", "/srv/cfg/orvane/registry.reg"},
        {nullptr, "/home/u", "/home/u/.config/orvane/registry.reg"},
        {"", "/home/u", "/home/u/.config/orvane/registry.reg"},
        {"relative/cfg", "/home/u", "/home/u/.config/orvane/registry.reg"},
    };
    regfile::SetRegistryFilePathForTesting("");
    for (const auto& c : cases) {
        config.Set(c.config);
        home.Set(c.home);
        EXPECT_EQ(regfile::RegistryFilePath(), c.expected)
            << "XDG_CONFIG_HOME=" << (c.config ? c.config : "(unset)") << " HOME=" << c.home;
    }
    regfile::SetRegistryFilePathForTesting("/elsewhere/registry.reg");
    EXPECT_EQ(regfile::RegistryFilePath(), "/elsewhere/registry.reg");
    regfile::SetRegistryFilePathForTesting("");
}

}  // namespace
}  // namespace orvane
