// The settings file under faults: writers killed at random moments, two running copies writing at
// once, a full disk, a folder turned read-only, a file that cannot be read just now, and root writing
// another user's settings. The settings go through the real store and the real registry file in a
// temporary folder; every writer is a process of its own.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/ServerList.h"
#include "config/SettingsStore.h"
#include "linux/TempDir.h"
#include "linux/UnprivilegedChild.h"
#include "platform/Seam.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/RegistryFile.h"

namespace orvane {
namespace {

constexpr char kSection[] = "Configuration";
constexpr char kStable[] = "written once, before any fault, and never again";

// A URL long enough that a torn write would show, that names its own number twice.
std::string UrlValue(std::uint32_t n) {
    return "http://server-" + std::to_string(n) + ".example:13/" + std::string(300 + n % 200, static_cast<char>('a' + n % 26)) +
           "/" + std::to_string(n);
}

// The number of a URL written by UrlValue, or -1 when the text is not one of them.
long long NumberOfUrl(const std::string& url) {
    const std::string prefix = "http://server-";
    if (url.compare(0, prefix.size(), prefix) != 0) return -1;
    std::size_t end = prefix.size();
    while (end < url.size() && url[end] >= '0' && url[end] <= '9') ++end;
    if (end == prefix.size() || end - prefix.size() > 10) return -1;
    const unsigned long long n = std::stoull(url.substr(prefix.size(), end - prefix.size()));
    if (n > 0xFFFFFFFFull || UrlValue(static_cast<std::uint32_t>(n)) != url) return -1;
    return static_cast<long long>(n);
}

// Files that a writer left beside the settings file: its temporary copies (registry.reg.tmp-XXXXXX).
std::vector<std::string> LeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("registry.reg.", 0) == 0 && name != "registry.reg.lock" && name.find(".damaged-") == std::string::npos) {
            found.push_back(name);
        }
    }
    return found;
}

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

// The values of the settings' section in one reading of the file.
class SectionValues {
public:
    explicit SectionValues(const regfile::Snapshot& snapshot)
        : key_(regfile::FindKey(snapshot.top, {"HKEY_CURRENT_USER", "Software", "Quintarro", "orvane", kSection})) {}

    // The text of a REG_SZ without its zero, or "missing".
    std::string Text(const std::string& name) const {
        const regfile::Value* value = Find(name);
        if (!value || value->type != REG_SZ || value->data.empty()) return "missing";
        return std::string(value->data.begin(), value->data.end() - 1);
    }

    // The number of a REG_DWORD, or -1.
    long long Number(const std::string& name) const {
        const regfile::Value* value = Find(name);
        if (!value || value->type != REG_DWORD || value->data.size() != 4) return -1;
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | value->data[static_cast<std::size_t>(i)];
        return number;
    }

private:
    const regfile::Value* Find(const std::string& name) const { return key_ ? regfile::FindValue(*key_, name) : nullptr; }

    const regfile::Key* key_;
};

// A process forked to run `body` and end with its result, never returning into the test. The test
// process runs no threads of its own, so the child inherits a consistent state. A child still
// running when the object goes (a failed assertion left the test early) is killed and reaped.
class Child {
public:
    explicit Child(const std::function<int()>& body) {
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) ::_exit(body());
    }
    ~Child() {
        if (Running()) ::kill(pid_, SIGKILL);
        Wait();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    void Kill() const { ::kill(pid_, SIGKILL); }

    // True while the child runs.
    bool Running() {
        if (pid_ <= 0 || result_ != kRunning) return false;
        int status = 0;
        const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
        if (ended == 0) return true;
        result_ = ended == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : kSignalled;
        return false;
    }

    // Waits for the end; the exit code, or kSignalled when a signal ended it.
    int Wait() {
        if (pid_ <= 0) return kSignalled;
        if (result_ != kRunning) return result_;
        int status = 0;
        pid_t ended;
        while ((ended = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        result_ = ended == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : kSignalled;
        return result_;
    }

    static constexpr int kSignalled = -1;

private:
    static constexpr int kRunning = -2;
    pid_t pid_ = -1;
    int result_ = kRunning;
};

class RegistryFaults : public ::testing::Test {
protected:
    void SetUp() override {
        folder = dir / "orvane";
        file = folder + "/registry.reg";
        regfile::SetRegistryFilePathForTesting(file);
        AppSettings().SetKeyNames("Quintarro", "orvane");
    }

    void TearDown() override { regfile::SetRegistryFilePathForTesting(""); }

    static bool WriteUrl(const std::string& url) { return AppSettings().WriteString(kSection, "URL", url); }
    static std::string ReadUrl() { return AppSettings().GetString(kSection, "URL", "missing"); }
    static std::uint32_t ReadIndex() { return AppSettings().GetInt(kSection, "URLIndex", -1); }
    static std::string ReadStable() { return AppSettings().GetString(kSection, "Stable", "missing"); }

    // The values every fault below must leave alone.
    static void StoreFirstValues() {
        ASSERT_TRUE(AppSettings().WriteInt(kSection, "RadioButton", 1));
        ASSERT_TRUE(AppSettings().WriteString(kSection, "Stable", kStable));
        ASSERT_TRUE(AppSettings().WriteInt(kSection, "URLIndex", 3));
        ASSERT_TRUE(WriteUrl(UrlValue(1)));
    }

    void ExpectFirstValues(const std::string& after) {
        EXPECT_EQ(regfile::CRegistryFile(file).Load().state, regfile::FileState::Sound) << after;
        EXPECT_EQ(AppSettings().GetInt(kSection, "RadioButton", -1), 1u) << after;
        EXPECT_EQ(ReadStable(), kStable) << after;
        EXPECT_EQ(ReadIndex(), 3u) << after;
        EXPECT_EQ(NumberOfUrl(ReadUrl()), 1) << after;
    }

    test::TempDir dir;
    std::string folder;
    std::string file;
    CFileRegistry fileRegistry;
    const ScopedSeam<IRegistry> registrySeam{fileRegistry};
};

// --- Crashes --------------------------------------------------------------------------------------

TEST_F(RegistryFaults, AWriterKilledAtAnyMomentLeavesEachValueOldOrNew) {
    StoreFirstValues();

    // The kills are spread over a few writes of each writer: a write is timed here first.
    const auto start = std::chrono::steady_clock::now();
    constexpr int kTimed = 20;
    for (int i = 0; i < kTimed; ++i) ASSERT_TRUE(WriteUrl(UrlValue(1)));
    const auto perWrite = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / kTimed;
    const auto longestDelay = std::max<std::chrono::microseconds::rep>(perWrite.count() * 6, 200);

    const std::uint32_t seed = std::random_device()();
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::chrono::microseconds::rep> delay(0, longestDelay);
    constexpr int kKills = 1000;
    int killedWhileReplacing = 0;

    for (int kill = 0; kill < kKills; ++kill) {
        const std::string context = "kill " + std::to_string(kill) + " (seed " + std::to_string(seed) + ")";
        // Each writer's values have numbers of their own, above the ones the test itself writes.
        const std::uint32_t first = 1000000u + static_cast<std::uint32_t>(kill) * 1000u;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        Child writer([&] {
            ::close(ready[0]);
            // The kill comes after the first pair of writes, once the new process writes at its
            // usual pace; from then on every moment of a write is as likely as any other.
            WriteUrl(UrlValue(first));
            AppSettings().WriteInt(kSection, "URLIndex", static_cast<std::int32_t>(first));
            const char go = 1;
            if (::write(ready[1], &go, 1) != 1) return 1;
            for (std::uint32_t n = first + 1;; ++n) {
                WriteUrl(UrlValue(n));
                AppSettings().WriteInt(kSection, "URLIndex", static_cast<std::int32_t>(n));
            }
        });
        ASSERT_TRUE(writer.Started());
        ::close(ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1) << context;
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        writer.Kill();
        ASSERT_EQ(writer.Wait(), Child::kSignalled) << context << ": the writer ended on its own";

        // Readable, and every value as the writer last wrote it in full: never torn, never older.
        // One reading of the file answers all four values (the store would read it once for each).
        const regfile::Snapshot snapshot = regfile::CRegistryFile(file).Load();
        ASSERT_EQ(snapshot.state, regfile::FileState::Sound) << context;
        const SectionValues values(snapshot);
        const long long url = NumberOfUrl(values.Text("URL"));
        ASSERT_TRUE(url >= first && url < first + 1000u) << context << ": URL holds " << values.Text("URL").substr(0, 60) << "...";
        const long long index = values.Number("URLIndex");
        ASSERT_TRUE(index >= first && index < first + 1000u) << context << ": URLIndex holds " << index;
        ASSERT_TRUE(index == url || index + 1 == url) << context << ": URL " << url << " with URLIndex " << index;
        ASSERT_EQ(values.Text("Stable"), kStable) << context;
        ASSERT_EQ(values.Number("RadioButton"), 1) << context;

        // A kill between making the temporary copy and renaming it leaves the copy behind.
        if (!LeftoverTemporaries(folder).empty()) ++killedWhileReplacing;

        // Whatever the killed writer left behind must not stop the next write, and goes with it.
        ASSERT_TRUE(WriteUrl(UrlValue(2))) << context;
        ASSERT_TRUE(LeftoverTemporaries(folder).empty()) << context << ": left " << Join(LeftoverTemporaries(folder));
    }
    EXPECT_EQ(NumberOfUrl(ReadUrl()), 2);
    // Kills that never landed inside a file's replacement would not have tested it.
    EXPECT_GT(killedWhileReplacing, 0) << "no writer was killed while it replaced the file";
    RecordProperty("killed_while_replacing_the_file", killedWhileReplacing);
}

// --- Two running copies ----------------------------------------------------------------------------

TEST_F(RegistryFaults, TwoCopiesWritingAtOnceLoseNothingAndTheLastWriteWins) {
    StoreFirstValues();
    constexpr int kWrites = 150;

    // The order of writes, counted inside the lock that serialises them: the last write is the one
    // with the highest ticket.
    auto* tickets = static_cast<std::atomic<std::uint32_t>*>(
        ::mmap(nullptr, sizeof(std::atomic<std::uint32_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(tickets, MAP_FAILED);
    new (tickets) std::atomic<std::uint32_t>(0);

    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    const auto copy = [&](const std::string& name) {
        return std::make_unique<Child>([&, name] {
            ::close(start[1]);
            char go = 0;
            if (::read(start[0], &go, 1) != 0) return 2;  // both copies start when the pipe closes
            const regfile::CRegistryFile registry(file);
            for (int i = 1; i <= kWrites; ++i) {
                // The copy's own value through the store, as the program writes it...
                if (!AppSettings().WriteInt(kSection, "Count" + name, i)) return 3;
                // ...and a value both write, tagged with its place in the order of all writes.
                const LONG result = registry.Update([&](regfile::Key& top) {
                    const std::uint32_t ticket = tickets->fetch_add(1) + 1;
                    regfile::Key& key = regfile::CreateKey(top, {"HKEY_CURRENT_USER", "Software", "Quintarro", "orvane", kSection});
                    regfile::SetValue(key, regfile::Value{"Last", REG_DWORD,
                                                          {static_cast<BYTE>(ticket), static_cast<BYTE>(ticket >> 8),
                                                           static_cast<BYTE>(ticket >> 16), static_cast<BYTE>(ticket >> 24)}});
                    return ERROR_SUCCESS;
                });
                if (result != ERROR_SUCCESS) return 4;
            }
            return 0;
        });
    };
    const std::unique_ptr<Child> a = copy("A");
    const std::unique_ptr<Child> b = copy("B");
    ASSERT_TRUE(a->Started());
    ASSERT_TRUE(b->Started());
    ::close(start[0]);
    ::close(start[1]);

    // A third reader meanwhile: every read sees a whole file, and neither copy's count goes back.
    std::uint32_t seenA = 0;
    std::uint32_t seenB = 0;
    int reads = 0;
    while (a->Running() || b->Running()) {
        const regfile::Snapshot snapshot = regfile::CRegistryFile(file).Load();
        ASSERT_EQ(snapshot.state, regfile::FileState::Sound) << "read " << reads;
        const std::uint32_t countA = AppSettings().GetInt(kSection, "CountA", 0);
        const std::uint32_t countB = AppSettings().GetInt(kSection, "CountB", 0);
        ASSERT_GE(countA, seenA) << "read " << reads << ": copy A's count went back";
        ASSERT_GE(countB, seenB) << "read " << reads << ": copy B's count went back";
        seenA = countA;
        seenB = countB;
        ++reads;
    }
    EXPECT_EQ(a->Wait(), 0) << "copy A: a write failed";
    EXPECT_EQ(b->Wait(), 0) << "copy B: a write failed";
    EXPECT_EQ(regfile::CRegistryFile(file).Load().state, regfile::FileState::Sound);
    EXPECT_EQ(AppSettings().GetInt(kSection, "CountA", 0), static_cast<std::uint32_t>(kWrites)) << "copy A lost writes";
    EXPECT_EQ(AppSettings().GetInt(kSection, "CountB", 0), static_cast<std::uint32_t>(kWrites)) << "copy B lost writes";
    EXPECT_EQ(tickets->load(), 2u * kWrites) << "a copy stopped early";
    EXPECT_EQ(AppSettings().GetInt(kSection, "Last", 0), tickets->load()) << "the last write did not win";
    EXPECT_EQ(ReadStable(), kStable);
    EXPECT_EQ(NumberOfUrl(ReadUrl()), 1);
    EXPECT_TRUE(LeftoverTemporaries(folder).empty()) << Join(LeftoverTemporaries(folder));
    RecordProperty("reads_while_writing", reads);
    ::munmap(tickets, sizeof(std::atomic<std::uint32_t>));
}

// --- A full disk -----------------------------------------------------------------------------------

// What a child reports when a check fails; 0 when all held.
enum ChildFailure {
    kFirstWritesFailed = 10,
    kFullWriteSucceeded,
    kValueLost,
    kTemporaryLeft,
    kCannotFill,
    kNoRoomAfterwards,
    kNotIsolated,
    kNotUnreadable,
    kReadNotDefault,
    kUnreadableWriteSucceeded,
    kFileChanged,
    kFolderChanged,
    kSettingsLostAfterwards,
};

std::string Explain(int code) {
    switch (code) {
    case 0: return "all held";
    case kFirstWritesFailed: return "the first values could not be stored";
    case kFullWriteSucceeded: return "a write on the full disk answered true";
    case kValueLost: return "a value stored before the disk was full was lost or changed";
    case kTemporaryLeft: return "the failed write left its temporary file";
    case kCannotFill: return "the disk could not be filled";
    case kNoRoomAfterwards: return "once there was room again the write still failed";
    case kNotIsolated: return "the child could not get a file system of its own";
    case kNotUnreadable: return "the file did not load as unreadable";
    case kReadNotDefault: return "a read of the unreadable file did not give the default";
    case kUnreadableWriteSucceeded: return "a write over the unreadable file answered true";
    case kFileChanged: return "the unreadable file's bytes changed";
    case kFolderChanged: return "something was created or removed beside the unreadable file";
    case kSettingsLostAfterwards: return "once readable again the file did not give the stored settings";
    case test::kChildKeptItsRights: return "the child kept root's rights";
    default: return "the child ended with " + std::to_string(code);
    }
}

// The checks made in a child once writes can no longer succeed.
int CheckRefusedWrites(const std::string& folder) {
    const std::string longUrl = UrlValue(7) + std::string(8192, 'x');
    if (AppSettings().WriteString(kSection, "URL", longUrl)) return kFullWriteSucceeded;
    if (AppSettings().WriteInt(kSection, "URLIndex", 5)) return kFullWriteSucceeded;
    if (AppSettings().WriteString(kSection, "New", "value")) return kFullWriteSucceeded;
    if (regfile::CRegistryFile(folder + "/registry.reg").Load().state != regfile::FileState::Sound) return kValueLost;
    if (NumberOfUrl(AppSettings().GetString(kSection, "URL", "")) != 1) return kValueLost;
    if (AppSettings().GetInt(kSection, "URLIndex", -1) != 3u) return kValueLost;
    if (AppSettings().GetString(kSection, "Stable", "") != kStable) return kValueLost;
    if (AppSettings().GetString(kSection, "New", "missing") != "missing") return kValueLost;
    if (!LeftoverTemporaries(folder).empty()) return kTemporaryLeft;
    return 0;
}

int StoreFirstValuesInChild() {
    const bool stored = AppSettings().WriteInt(kSection, "RadioButton", 1) &&
                        AppSettings().WriteString(kSection, "Stable", kStable) &&
                        AppSettings().WriteInt(kSection, "URLIndex", 3) && AppSettings().WriteString(kSection, "URL", UrlValue(1));
    return stored ? 0 : kFirstWritesFailed;
}

TEST_F(RegistryFaults, AFileSizeLimitMakesWritesFailAndKeepsWhatWasStored) {
    // The limit on file size stands in for a full disk where no small file system can be mounted:
    // the temporary copy cannot be written in full, exactly as when the disk runs out.
    StoreFirstValues();
    Child child([&] {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead of killing
        // Every write replaces the whole file, so no write fits below the file's present size.
        const rlimit limit{64, 64};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return static_cast<int>(kNotIsolated);
        return CheckRefusedWrites(folder);
    });
    const int result = child.Wait();
    EXPECT_EQ(result, 0) << Explain(result);
    ExpectFirstValues("after the writes past the limit");
    EXPECT_TRUE(WriteUrl(UrlValue(9))) << "without the limit the write must succeed";
}

TEST_F(RegistryFaults, AFullDiskMakesWritesFailAndKeepsWhatWasStored) {
    // A small file system of the child's own, in a mount namespace of its own so that nothing else
    // on the machine sees it; only root may make one.
    const std::string mountPoint = dir / "small-disk";
    std::filesystem::create_directory(mountPoint);
    Child child([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0) {
            return static_cast<int>(kNotIsolated);
        }
        const std::string smallFolder = mountPoint + "/orvane";
        regfile::SetRegistryFilePathForTesting(smallFolder + "/registry.reg");
        if (const int stored = StoreFirstValuesInChild(); stored != 0) return stored;

        // Fill every block that is left.
        const int filler = ::open((mountPoint + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (filler < 0) return static_cast<int>(kCannotFill);
        const std::string block(4096, 'f');
        while (::write(filler, block.data(), block.size()) > 0) {
        }
        const int error = errno;
        // A last partial block may still fit.
        while (::write(filler, block.data(), 1) > 0) {
        }
        if (error != ENOSPC) return static_cast<int>(kCannotFill);

        if (const int refused = CheckRefusedWrites(smallFolder); refused != 0) return refused;

        // Room again: the next write goes through and the settings are whole.
        ::close(filler);
        ::unlink((mountPoint + "/filler").c_str());
        if (!AppSettings().WriteString(kSection, "URL", UrlValue(9))) return static_cast<int>(kNoRoomAfterwards);
        if (NumberOfUrl(AppSettings().GetString(kSection, "URL", "")) != 9) return static_cast<int>(kNoRoomAfterwards);
        return 0;
    });
    const int result = child.Wait();
    if (result == kNotIsolated) GTEST_SKIP() << "no small file system could be mounted here (needs root); see the file size limit test";
    EXPECT_EQ(result, 0) << Explain(result);
}

// --- A read-only folder ----------------------------------------------------------------------------

TEST_F(RegistryFaults, AFolderTurnedReadOnlyMakesWritesFailAndKeepsWhatWasStored) {
    // Root writes into any folder, so the writer is an ordinary user: nobody, when the test is root.
    const std::string home = dir / "home";
    std::filesystem::create_directory(home);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0711), 0);
        ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    }
    const std::string userFolder = home + "/orvane";

    const int result = test::RunUnprivileged([&] {
        regfile::SetRegistryFilePathForTesting(userFolder + "/registry.reg");
        if (const int stored = StoreFirstValuesInChild(); stored != 0) return stored;
        if (::chmod(userFolder.c_str(), 0500) != 0) return static_cast<int>(kNotIsolated);
        const int refused = CheckRefusedWrites(userFolder);
        ::chmod(userFolder.c_str(), 0700);
        if (refused != 0) return refused;
        if (!AppSettings().WriteString(kSection, "URL", UrlValue(9))) return static_cast<int>(kNoRoomAfterwards);
        return 0;
    });
    EXPECT_EQ(result, 0) << Explain(result);
}

// --- A file that cannot be read just now -------------------------------------------------------------

// The names in a folder, sorted.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The whole file read with the system's own calls, or "unreadable".
std::string Bytes(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "unreadable";
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    return got < 0 ? "unreadable" : text;
}

// While the file cannot be read: it loads as unreadable, the reads of Set Clock and of Configure give
// their defaults, and Configure's OK (its three writes) fails. `error` is what the failure says.
int CheckWhileUnreadable(const std::string& file, LONG error) {
    const regfile::Snapshot snapshot = regfile::CRegistryFile(file).Load();
    if (snapshot.state != regfile::FileState::Unreadable || snapshot.error != error) return kNotUnreadable;
    // Set Clock: the stored choice is the user's own URL, so a listed server means the default.
    if (!UseListedServer()) return kReadNotDefault;
    if (AppSettings().GetString(kSection, "URL", "default") != "default") return kReadNotDefault;
    if (AppSettings().GetInt(kSection, "URLIndex", 0) != 0u) return kReadNotDefault;
    // Configure's OK.
    if (AppSettings().WriteInt(kSection, "RadioButton", 0)) return kUnreadableWriteSucceeded;
    if (AppSettings().WriteInt(kSection, "URLIndex", 5)) return kUnreadableWriteSucceeded;
    if (AppSettings().WriteString(kSection, "URL", "http://lost.example:13")) return kUnreadableWriteSucceeded;
    return 0;
}

// Once the file can be read again: the same bytes, nothing new or gone beside it, and the settings as
// they were stored before.
int CheckAfterwards(const std::string& file, const std::string& bytes, const std::vector<std::string>& listing) {
    if (Bytes(file) != bytes) return kFileChanged;
    if (Listing(file.substr(0, file.find_last_of('/'))) != listing) return kFolderChanged;
    if (AppSettings().GetInt(kSection, "RadioButton", -1) != 1u || AppSettings().GetInt(kSection, "URLIndex", -1) != 3u ||
        NumberOfUrl(AppSettings().GetString(kSection, "URL", "")) != 1 || UseListedServer()) {
        return kSettingsLostAfterwards;
    }
    return 0;
}

int g_openError = 0;
int g_readError = 0;
int FailingOpen(int /*folder*/, const char* /*name*/, int /*flags*/) {
    errno = g_openError;
    return -1;
}
ssize_t FailingRead(int /*fd*/, void* /*buffer*/, std::size_t /*size*/) {
    errno = g_readError;
    return -1;
}

TEST_F(RegistryFaults, AFileThatFailsToOpenOrReadIsLeftAsItIsAndReadsGiveDefaults) {
    // A disk or a network file system that fails: the calls that read the file fail as they do there.
    const struct {
        const char* what;
        int openError;
        int readError;
        LONG error;
    } cases[] = {
        {"open fails with EIO", EIO, 0, ERROR_CANTREAD},
        {"open fails with ESTALE (NFS home)", ESTALE, 0, ERROR_CANTREAD},
        {"open fails with EACCES", EACCES, 0, ERROR_ACCESS_DENIED},
        {"read fails with EIO", 0, EIO, ERROR_CANTREAD},
        {"read fails with ESTALE (NFS home)", 0, ESTALE, ERROR_CANTREAD},
    };
    StoreFirstValues();
    const std::string bytes = Bytes(file);
    const std::vector<std::string> listing = Listing(folder);
    for (const auto& c : cases) {
        g_openError = c.openError;
        g_readError = c.readError;
        regfile::FileReadCalls calls;
        if (c.openError != 0) calls.open = FailingOpen;
        if (c.readError != 0) calls.read = FailingRead;
        regfile::SetFileReadCallsForTesting(calls);
        const int during = CheckWhileUnreadable(file, c.error);
        regfile::SetFileReadCallsForTesting({});
        EXPECT_EQ(during, 0) << c.what << ": " << Explain(during);
        const int after = CheckAfterwards(file, bytes, listing);
        EXPECT_EQ(after, 0) << c.what << ": " << Explain(after);
    }
}

TEST_F(RegistryFaults, AFileTheUserMayNotReadIsLeftAsItIs) {
    // Root reads any file, so the user is an ordinary one: nobody, when the test is root.
    const std::string home = dir / "home";
    std::filesystem::create_directory(home);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0711), 0);
        ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    }
    const std::string userFile = home + "/orvane/registry.reg";
    const int result = test::RunUnprivileged([&] {
        regfile::SetRegistryFilePathForTesting(userFile);
        if (const int stored = StoreFirstValuesInChild(); stored != 0) return stored;
        const std::string bytes = Bytes(userFile);
        const std::vector<std::string> listing = Listing(home + "/orvane");
        if (::chmod(userFile.c_str(), 0) != 0) return static_cast<int>(kNotIsolated);
        const int during = CheckWhileUnreadable(userFile, ERROR_ACCESS_DENIED);
        ::chmod(userFile.c_str(), 0600);
        return during != 0 ? during : CheckAfterwards(userFile, bytes, listing);
    });
    EXPECT_EQ(result, 0) << Explain(result);
}

TEST_F(RegistryFaults, AFileUnderAnotherProgramsLeaseIsLeftAsItIsAndNeverStallsTheProgram) {
    StoreFirstValues();
    const std::string bytes = Bytes(file);
    const std::vector<std::string> listing = Listing(folder);

    // Another program holds a write lease: an open without O_NONBLOCK would wait until it gives the
    // lease up (up to /proc/sys/fs/lease-break-time, 45 seconds by default).
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    Child holder([&] {
        ::close(ready[0]);
        ::close(release[1]);
        ::signal(SIGIO, SIG_IGN);  // the kernel's note that someone wants the file
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        const char held = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0 ? 1 : 0;
        const int error = errno;
        if (::write(ready[1], &held, 1) != 1) return 1;
        if (!held) return error == 0 ? 1 : 2;
        char go = 0;
        while (::read(release[0], &go, 1) < 0 && errno == EINTR) {
        }
        return 0;
    });
    ASSERT_TRUE(holder.Started());
    ::close(ready[1]);
    ::close(release[0]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    if (!held) {
        ::close(release[1]);
        GTEST_SKIP() << "this file system gives no leases";
    }

    const auto start = std::chrono::steady_clock::now();
    const int during = CheckWhileUnreadable(file, ERROR_SHARING_VIOLATION);
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(release[1]);
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(during, 0) << Explain(during);
    EXPECT_LT(took, std::chrono::seconds(10)) << "a read waited for the lease";
    const int after = CheckAfterwards(file, bytes, listing);
    EXPECT_EQ(after, 0) << Explain(after);
}

// --- Root writing another user's settings -----------------------------------------------------------

// Everything below `folder` (itself included) whose owner or group is not uid/gid 65534.
std::vector<std::string> NotNobodys(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ignored;
    const auto check = [&](const std::string& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || info.st_uid != 65534 || info.st_gid != 65534) found.push_back(path);
    };
    check(folder);
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        check(it->path());
    }
    return found;
}

TEST_F(RegistryFaults, RootWritingAnotherUsersSettingsLeavesNothingOfRootsInTheirFolders) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    // The program started as `sudo -E orvane`: root, with the HOME of a user (nobody) who has no
    // ~/.config yet.
    const std::string home = dir / "home";
    std::filesystem::create_directory(home);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0711), 0);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    const std::string settings = home + "/.config/orvane/registry.reg";
    const auto runAsRootWithHome = [&](const std::function<int()>& body) {
        Child child([&] {
            regfile::SetRegistryFilePathForTesting("");
            ::setenv("HOME", home.c_str(), 1);
            ::unsetenv("XDG_CONFIG_HOME");
            if (regfile::RegistryFilePath() != settings) return 99;
            return body();
        });
        return child.Wait();
    };

    // Configure's OK and Set Clock's reads on a first run: folders, lock, temporary copy and file.
    EXPECT_EQ(runAsRootWithHome([] {
                  if (StoreFirstValuesInChild() != 0) return 1;
                  return UseListedServer() ? 2 : 0;
              }),
              0);
    ASSERT_TRUE(std::filesystem::exists(settings));
    EXPECT_EQ(NotNobodys(home), std::vector<std::string>()) << "after the first run";

    // A damaged file that root once left there, readable by her, is kept aside. The backup keeps
    // root's owner: root cannot tell it from a system file that she linked there. The new file is hers.
    test::WriteWholeFile(settings, "no registry file\n");
    ASSERT_TRUE(::chown(settings.c_str(), 0, 0) == 0 && ::chmod(settings.c_str(), 0644) == 0);
    EXPECT_EQ(runAsRootWithHome([] { return StoreFirstValuesInChild(); }), 0);
    const std::vector<std::string> roots = NotNobodys(home);
    EXPECT_TRUE(roots.size() == 1 && roots[0].find(".damaged-") != std::string::npos) << "root's: " << Join(roots);

    // The user can go on with the settings, without root.
    const int result = test::RunUnprivileged([&] {
        regfile::SetRegistryFilePathForTesting(settings);
        if (NumberOfUrl(AppSettings().GetString(kSection, "URL", "")) != 1) return static_cast<int>(kValueLost);
        return AppSettings().WriteString(kSection, "URL", UrlValue(4)) ? 0 : static_cast<int>(kNoRoomAfterwards);
    });
    EXPECT_EQ(result, 0) << Explain(result);
}


// What the user racing root does at each step of the file module's, given the step's name.
std::function<void(const std::string&)> g_race;
void RaceStep(const char* name) { g_race(name); }

// Points the user's link at `target`, in one rename as she would.
bool Relink(const std::string& link, const std::string& target) {
    const std::string fresh = link + ".new";
    return ::symlink(target.c_str(), fresh.c_str()) == 0 && ::lchown(fresh.c_str(), 65534, 65534) == 0 && ::rename(fresh.c_str(), link.c_str()) == 0;
}

// Root saves settings through `path` while the user races it. Answers whether the save succeeded,
// and what root gave to nobody outside her home or made in the system folder `system`.
std::string SaveAsRootRacing(const test::TempDir& dir, const std::string& path, const std::string& system) {
    Child save([&] {
        regfile::SetRegistryFilePathForTesting(path);
        regfile::SetStepHookForTesting(RaceStep);
        return AppSettings().WriteString(kSection, "URL", "http://saved:13") ? 0 : 1;
    });
    std::string outcome = save.Wait() == 0 ? "saved" : "failed";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        struct stat info {};
        const std::string name = entry.path().string();
        if (name.rfind(dir / "home", 0) == 0 || ::lstat(name.c_str(), &info) != 0) continue;
        if (info.st_uid != 0 || info.st_gid != 0) outcome += ", gave away " + name;
        if (name.rfind(system + "/", 0) == 0 && name != system + "/secret") outcome += ", made " + name;
    }
    std::filesystem::remove_all(system + "/x");
    return outcome;
}

TEST_F(RegistryFaults, RootFollowsTheUsersLinksOnlyWithinHerFoldersAndGivesNothingElseAway) {
    if (::geteuid() != 0) GTEST_SKIP() << "root's walk through a user's folders needs root";
    const std::string home = dir / "home", mine = home + "/mine", system = dir / "system", link = home + "/L";
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0711), 0);
    for (const std::string& made : {home, mine, system}) std::filesystem::create_directories(made);
    ASSERT_TRUE(::chown(home.c_str(), 65534, 65534) == 0 && ::chown(mine.c_str(), 65534, 65534) == 0);
    test::WriteWholeFile(system + "/secret", "root's secret\n");  // a system file she links to

    // Root follows her link into her own folder (a dotfile manager's) and refuses one into the system
    // folder; a flip of the link at any step (at every step: -1) never lets root make or give away
    // anything there.
    for (const bool intoSystem : {false, true}) {
        for (int flipAt = -1; flipAt <= 30; ++flipAt) {
            const std::string targets[2] = {intoSystem ? system : mine, intoSystem ? mine : system};
            ASSERT_TRUE(Relink(link, targets[0]));
            g_race = [&, step = 0, flips = 0](const std::string&) mutable {
                if (++step == flipAt || flipAt < 0) Relink(link, targets[++flips % 2]);
            };
            const std::string outcome = SaveAsRootRacing(dir, link + "/x/registry.reg", system);
            EXPECT_TRUE(flipAt == 0 ? outcome == (intoSystem ? "failed" : "saved") : outcome.find(',') == std::string::npos)
                << outcome << ", flip at step " << flipAt;
        }
    }
    // Her hard link to the system file at the lock's name or the settings file's: she removes her
    // own name at the step after root opened or kept the file.
    for (const std::string name : {"", "registry.reg.lock", "registry.reg"}) {
        const std::string linked = home + "/.config/orvane/" + name;
        ASSERT_TRUE(name.empty() || (::unlink(linked.c_str()) == 0 && ::link((system + "/secret").c_str(), linked.c_str()) == 0));
        g_race = [&](const std::string& step) {
            if (!name.empty() && step.find(name == "registry.reg" ? ".damaged-" : name) != std::string::npos) ::unlink(linked.c_str());
        };
        EXPECT_EQ(SaveAsRootRacing(dir, home + "/.config/orvane/registry.reg", system), "saved") << name << " linked to a system file";
    }
}

TEST_F(RegistryFaults, ALinkAtTheFilesOwnNameIsFollowedOnlyToAPlainFile) {
    StoreFirstValues();
    const std::string elsewhere = dir / "dotfiles", fifo = dir / "fifo";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::rename(file, elsewhere + "/registry.reg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A dotfile manager's link, one to a FIFO, and one that leads nowhere (media not mounted), which
    // reads as unreadable and so is never replaced.
    for (const auto& [target, state] : {std::pair(elsewhere + "/registry.reg", regfile::FileState::Sound), std::pair(fifo, regfile::FileState::Damaged),
                                        std::pair(dir / "unmounted/registry.reg", regfile::FileState::Unreadable)}) {
        const std::string what = "a link to " + target;
        std::filesystem::remove(file);
        ASSERT_EQ(::symlink(target.c_str(), file.c_str()), 0) << what;
        // A writer waiting for a reader goes on once anything opens the FIFO (a device would act).
        Child writer([&] { return ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC) >= 0 ? 0 : 1; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(regfile::CRegistryFile(file).Load().state, state) << what;
        EXPECT_EQ(WriteUrl(UrlValue(5)), state != regfile::FileState::Unreadable) << what;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(writer.Running()) << what << ": the FIFO was opened";
        EXPECT_EQ(std::filesystem::is_symlink(file), state == regfile::FileState::Unreadable) << what << ": the link was replaced";
    }
}

TEST_F(RegistryFaults, RootInHerFoldersReachesAndMakesOnlyWhatSheCould) {
    if (::geteuid() != 0) GTEST_SKIP() << "root's work in a user's folders needs root";
    // Her home holds root's 0700 ~/.cache (left by an earlier `sudo -E` program), with a root-only REGEDIT4 file.
    const std::string home = dir / "home", cache = home + "/.cache", config = home + "/.config", secret = cache + "/secret";
    const std::string settings = config + "/orvane/registry.reg";
    std::filesystem::create_directories(cache);
    test::WriteWholeFile(secret, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]\n\"URL\"=\"root's\"\n");
    ASSERT_TRUE(::chmod(dir.Path().c_str(), 0711) == 0 && ::chmod(cache.c_str(), 0700) == 0 && ::chmod(secret.c_str(), 0600) == 0 &&
                ::chown(home.c_str(), 65534, 65534) == 0);
    // She swaps root's folder in for her new ~/.config right after root made it: root goes no further.
    g_race = [&](const std::string& step) { step == ".config" && ::rmdir(config.c_str()) == 0 && ::rename(cache.c_str(), config.c_str()) == 0; };
    EXPECT_EQ(SaveAsRootRacing(dir, settings, dir / "system"), "failed");
    EXPECT_EQ(NotNobodys(home), (std::vector<std::string>{config, config + "/secret"})) << "root's folder changed owner";
    ASSERT_EQ(::rename(config.c_str(), cache.c_str()), 0);
    // Her ordinary save is hers; then her link of root's at the file's name, to the root-only file, is not read.
    g_race = [](const std::string&) {};
    EXPECT_EQ(SaveAsRootRacing(dir, settings, dir / "system"), "saved");
    EXPECT_EQ(NotNobodys(home), (std::vector<std::string>{cache, secret}));
    ASSERT_TRUE(std::filesystem::remove(settings) && ::symlink(secret.c_str(), settings.c_str()) == 0);
    EXPECT_EQ(regfile::CRegistryFile(settings).Load().state, regfile::FileState::Unreadable);
    EXPECT_EQ(SaveAsRootRacing(dir, settings, dir / "system"), "failed");
}

TEST_F(RegistryFaults, ThePathFollowsFortyLinksAtMostTheFilesNameIncluded) {
    // One budget for the links of the folders and of the file's name together, as the kernel keeps.
    StoreFirstValues();
    std::filesystem::rename(folder, dir / "real");
    // The start of a chain of `links` links to the real folder (f) or file (n).
    const auto start = [](char kind, int links) { return links == 0 ? std::string(kind == 'f' ? "real" : "registry.reg") : kind + std::to_string(41 - links); };
    for (int i = 0; i <= 40; ++i) {
        ASSERT_EQ(::symlink(start('f', 40 - i).c_str(), (dir / ("f" + std::to_string(i))).c_str()), 0);
        ASSERT_EQ(::symlink(start('n', 40 - i).c_str(), (dir / ("real/n" + std::to_string(i))).c_str()), 0);
    }
    const std::pair<int, int> cases[] = {{40, 0}, {0, 40}, {20, 20}, {41, 0}, {0, 41}, {20, 21}};
    for (const auto& [folderLinks, nameLinks] : cases) {
        const regfile::FileState state = regfile::CRegistryFile(dir / start('f', folderLinks) + "/" + start('n', nameLinks)).Load().state;
        EXPECT_EQ(state, folderLinks + nameLinks <= 40 ? regfile::FileState::Sound : regfile::FileState::Unreadable) << folderLinks << " + " << nameLinks;
    }
    std::filesystem::create_directory(dir / "r");
    std::string maze = "real";  // 1,600 steps in and out of a folder in one link: refused as a loop would be
    while (maze.size() < 4000) maze = "r/../" + maze;
    ASSERT_EQ(::symlink(maze.c_str(), (dir / "maze").c_str()), 0);
    EXPECT_EQ(regfile::CRegistryFile(dir / "maze/registry.reg").Load().state, regfile::FileState::Unreadable) << "a maze";
}

TEST_F(RegistryFaults, AWriterWaitsAWhileForALockAnotherCopyHoldsThenFails) {
    StoreFirstValues();
    for (const int holdMs : {500, 60000}) {  // another copy that goes on, and one stopped for good
        const int lock = ::open((file + ".lock").c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(::flock(lock, LOCK_EX), 0);
        Child writer([&] { return static_cast<int>(regfile::CRegistryFile(file).Update([](regfile::Key&) { return ERROR_SUCCESS; })); });
        for (int waited = 0; writer.Running() && waited < 10000; waited += 10) {
            if (waited == holdMs) ::flock(lock, LOCK_UN);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (writer.Running()) writer.Kill();
        EXPECT_EQ(writer.Wait(), holdMs < 2000 ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION) << "lock held for " << holdMs << " ms";
        ::close(lock);
    }
}

TEST_F(RegistryFaults, WhileOneWaitForAHeldLockGoesOnEveryWriteFailsAtOnce) {
    StoreFirstValues();
    const int lock = ::open((file + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    // Five saves against a copy stopped for good: the first waits and gives up, the others fail at
    // once, and one thread with one descriptor waits on.
    Child saves([&] {
        const auto count = [](const char* listing) { return std::distance(std::filesystem::directory_iterator(listing), {}); };
        const auto threads = count("/proc/self/task"), descriptors = count("/proc/self/fd");
        for (int save = 0; save < 5; ++save) {
            const auto start = std::chrono::steady_clock::now();
            if (regfile::CRegistryFile(file).Update([](regfile::Key&) { return ERROR_SUCCESS; }) != ERROR_SHARING_VIOLATION) return 1;
            if (save > 0 && std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) return 2;
        }
        return count("/proc/self/task") == threads + 1 && count("/proc/self/fd") == descriptors + 1 ? 0 : 3;
    });
    EXPECT_EQ(saves.Wait(), 0) << "1: a save did not fail with 32, 2: a later save waited, 3: threads or descriptors grew";
    ::close(lock);
}

}  // namespace
}  // namespace orvane
