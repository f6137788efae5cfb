// Tests of the systemd-timedated route for setting the clock. Each test starts its own D-Bus
// daemon on a private socket and, where it needs one, a stand-in for timedated served by a thread
// of the test, which records what it was asked and answers as the test tells it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "doubles/SystemTimes.h"
#include "linux/UnprivilegedChild.h"
#include "platform/Clock.h"
#include "platform/linux/ClockTimedated.h"
#include "platform/linux/PlatformServices.h"

extern char** environ;

namespace orvane {
namespace {

using namespace std::chrono_literals;
using test::Utc;

// A folder under /tmp that the test removes again.
class TemporaryFolder {
public:
    TemporaryFolder() {
        char pattern[] = "/tmp/orvane-bus-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TemporaryFolder() {
        if (!path_.empty()) std::filesystem::remove_all(path_);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A dbus-daemon of the test's own, listening on a socket that every user may reach, with a
// policy that lets any connection own any name and call any method.
class PrivateBus {
public:
    PrivateBus() {
        if (folder_.Path().empty()) return;
        // An abstract socket has no file permissions, so the unprivileged child reaches it too.
        static int count = 0;
        const std::string listen =
            "unix:abstract=orvane-test-bus-" + std::to_string(getpid()) + "-" + std::to_string(++count);
        const std::string config = folder_.Path() + "/bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig>\n"
                                 "  <type>session</type>\n"
                                 "  <listen>"
                              << listen
                              << "</listen>\n"
                                 "  <auth>EXTERNAL</auth>\n"
                                 "  <policy context=\"default\">\n"
                                 "    <allow user=\"*\"/>\n"
                                 "    <allow own=\"*\"/>\n"
                                 "    <allow send_destination=\"*\"/>\n"
                                 "    <allow receive_sender=\"*\"/>\n"
                                 "  </policy>\n"
                                 "</busconfig>\n";

        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // The daemon writes its address to descriptor 3, which must survive the exec, and its
        // complaints (such as not being allowed to raise its file limit) to a log of its own.
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        log_ = folder_.Path() + "/dbus-daemon.log";
        posix_spawn_file_actions_addopen(&actions, 2, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string configArgument = "--config-file=" + config;
        const char* argv[] = {"dbus-daemon", configArgument.c_str(), "--nofork", "--nopidfile", "--print-address=3",
                              nullptr};
        if (posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);

        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') address_ += c;
        close(fds[0]);
    }

    ~PrivateBus() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The daemon's address, empty when it did not start.
    const std::string& Address() const { return address_; }

    // What the daemon wrote to its standard error.
    std::string Log() const {
        std::ifstream log(log_);
        return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    }

private:
    TemporaryFolder folder_;
    pid_t pid_ = -1;
    std::string log_;
    std::string address_;
};

enum class Answer { Success, AutomaticSyncEnabled, AccessDenied, InteractiveAuthorizationRequired, Cancelled, Silent };

const char* Name(Answer answer) {
    switch (answer) {
        case Answer::Success: return "success";
        case Answer::AutomaticSyncEnabled: return "automatic synchronisation enabled";
        case Answer::AccessDenied: return "access denied";
        case Answer::InteractiveAuthorizationRequired: return "interactive authorisation required";
        case Answer::Cancelled: return "prompt cancelled";
        case Answer::Silent: return "no answer";
    }
    return "?";
}

struct SetTimeCall {
    std::int64_t usecUtc;
    bool relative;
    bool interactive;
    bool allowsInteractiveAuthorization;  // the message header's flag
    std::int64_t appliedUsec;             // the time the clock would be set to, when the answer is given
};

std::int64_t RealtimeMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Automatic synchronisation as the stand-in keeps it: NTP is timedated's property of that name,
// `synchronised` its NTPSynchronized. With NTP on, SetTime is refused before anything else, and
// after SetNTP(false) it stays refused for `stopping`, as while the service's stop job runs.
struct StandInSync {
    bool ntp = false;
    bool synchronised = false;
    std::chrono::milliseconds stopping = 0ms;
    Answer setNtpAnswer = Answer::Success;
};

// Owns org.freedesktop.timedate1 on the given bus and serves SetTime, SetNTP and the NTP and
// NTPSynchronized properties from a thread until it is destroyed. A silent stand-in owns the name
// but never reads its messages. A `delay` holds each SetTime and SetNTP answer as a polkit password
// prompt does; the time SetTime would set is taken after it, as timedated takes it when it sets the
// clock.
class StandInTimedated {
public:
    StandInTimedated(const std::string& address, Answer answer, std::chrono::milliseconds delay = 0ms,
                     StandInSync sync = {})
        : answer_(answer), delay_(delay), sync_(sync) {
        std::promise<bool> ready;
        std::future<bool> started = ready.get_future();
        thread_ = std::thread([this, address, &ready] { Serve(address, ready); });
        ready_ = started.get();
    }

    ~StandInTimedated() {
        stop_ = true;
        thread_.join();
    }

    StandInTimedated(const StandInTimedated&) = delete;
    StandInTimedated& operator=(const StandInTimedated&) = delete;

    // Whether the stand-in owns its name and is serving.
    bool Ready() const { return ready_; }

    std::vector<SetTimeCall> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    // Every SetTime and SetNTP in arrival order: "SetTime", "SetTime refused: NTP on", "SetNTP(false)".
    std::vector<std::string> Log() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }

private:
    bool NtpLocked() const { return sync_.ntp || std::chrono::steady_clock::now() < stoppedAt_; }

    // 0 for an answer that is no refusal.
    static int Refuse(sd_bus_error* error, Answer answer) {
        switch (answer) {
            case Answer::AutomaticSyncEnabled:
                return sd_bus_error_set(error, "org.freedesktop.timedate1.AutomaticTimeSyncEnabled",
                                        "Automatic time synchronization is enabled");
            case Answer::AccessDenied: return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Access denied");
            case Answer::InteractiveAuthorizationRequired:
                return sd_bus_error_set(error, SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED,
                                        "Interactive authentication required.");
            case Answer::Cancelled:
                return sd_bus_error_set(error, "org.freedesktop.PolicyKit1.Error.Cancelled",
                                        "Authentication dialog was dismissed by the user");
            default: return 0;
        }
    }

    static int OnSetNtp(sd_bus_message* message, void* userdata, sd_bus_error* error) {
        auto* self = static_cast<StandInTimedated*>(userdata);
        int enable = 0, interactive = 0;
        const int read = sd_bus_message_read(message, "bb", &enable, &interactive);
        if (read < 0) return read;
        std::this_thread::sleep_for(self->delay_);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->log_.push_back(enable ? "SetNTP(true)" : "SetNTP(false)");
            if (self->sync_.setNtpAnswer == Answer::Success) {
                if (self->sync_.ntp && !enable) self->stoppedAt_ = std::chrono::steady_clock::now() + self->sync_.stopping;
                self->sync_.ntp = enable != 0;
            }
        }
        if (const int refused = Refuse(error, self->sync_.setNtpAnswer); refused != 0) return refused;
        return sd_bus_reply_method_return(message, nullptr);
    }

    static int OnFlag(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* userdata,
                      sd_bus_error*) {
        auto* self = static_cast<StandInTimedated*>(userdata);
        std::lock_guard<std::mutex> lock(self->mutex_);
        return sd_bus_message_append(reply, "b", std::string(property) == "NTP" ? self->NtpLocked() : self->sync_.synchronised);
    }

    static int OnSetTime(sd_bus_message* message, void* userdata, sd_bus_error* error) {
        auto* self = static_cast<StandInTimedated*>(userdata);
        std::int64_t usec = 0;
        int relative = 0;
        int interactive = 0;
        const int read = sd_bus_message_read(message, "xbb", &usec, &relative, &interactive);
        if (read < 0) return read;
        if (std::lock_guard<std::mutex> lock(self->mutex_); self->NtpLocked()) {
            self->log_.push_back("SetTime refused: NTP on");  // timedated checks this before asking polkit
            return Refuse(error, Answer::AutomaticSyncEnabled);
        }
        std::this_thread::sleep_for(self->delay_);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->log_.push_back("SetTime");
            self->calls_.push_back({usec, relative != 0, interactive != 0,
                                    sd_bus_message_get_allow_interactive_authorization(message) > 0,
                                    relative != 0 ? RealtimeMicroseconds() + usec : usec});
        }
        if (const int refused = Refuse(error, self->answer_); refused != 0) return refused;
        return sd_bus_reply_method_return(message, nullptr);
    }

    void Serve(const std::string& address, std::promise<bool>& ready) {
        static const sd_bus_vtable kVtable[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("SetTime", "xbb", "", OnSetTime, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("SetNTP", "bb", "", OnSetNtp, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_PROPERTY("NTP", "b", OnFlag, 0, 0),
            SD_BUS_PROPERTY("NTPSynchronized", "b", OnFlag, 0, 0),
            SD_BUS_VTABLE_END,
        };
        sd_bus* bus = nullptr;
        bool ok = sd_bus_new(&bus) >= 0;
        ok = ok && sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 &&
             sd_bus_start(bus) >= 0;
        ok = ok && sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/timedate1", "org.freedesktop.timedate1",
                                            kVtable, this) >= 0;
        ok = ok && sd_bus_request_name(bus, "org.freedesktop.timedate1", 0) >= 0;
        ready.set_value(ok);
        while (ok && !stop_) {
            if (answer_ == Answer::Silent) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            const int processed = sd_bus_process(bus, nullptr);
            if (processed < 0) break;
            if (processed == 0) sd_bus_wait(bus, 50000);
        }
        sd_bus_flush_close_unref(bus);
    }

    const Answer answer_;
    const std::chrono::milliseconds delay_;
    StandInSync sync_;
    std::chrono::steady_clock::time_point stoppedAt_{};
    std::vector<std::string> log_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    bool ready_ = false;
    mutable std::mutex mutex_;
    std::vector<SetTimeCall> calls_;
};

class TimedatedRoute : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(bus_.Address().empty()) << "dbus-daemon did not start: " << bus_.Log(); }

    TimedatedCall Call(std::chrono::milliseconds timeout = 20s) const { return {bus_.Address(), timeout}; }

    PrivateBus bus_;
};

// 2007-12-07 14:39:10.250 UTC.
constexpr std::int64_t kRecordUsec = 1197038350250000;

TEST_F(TimedatedRoute, AsksForTheInstantAsARelativeInteractiveChange) {
    StandInTimedated timedated(bus_.Address(), Answer::Success);
    ASSERT_TRUE(timedated.Ready());

    const std::int64_t before = RealtimeMicroseconds();
    EXPECT_TRUE(SetTimeThroughTimedated(kRecordUsec, Call()));
    const std::int64_t after = RealtimeMicroseconds();

    const std::vector<SetTimeCall> calls = timedated.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].relative);
    // The record's time less the system clock's time at the call.
    EXPECT_LE(calls[0].usecUtc, kRecordUsec - before);
    EXPECT_GE(calls[0].usecUtc, kRecordUsec - after);
    EXPECT_TRUE(calls[0].interactive);
    EXPECT_TRUE(calls[0].allowsInteractiveAuthorization) << "without the header flag polkit shows no prompt";
}

TEST_F(TimedatedRoute, AClockSetAfterALongPasswordPromptIsStillRight) {
    // The prompt holds the call for 1.5 s: the clock must then read the record's time plus those
    // 1.5 s, not the record's time, which would leave it 1.5 s behind. Also when the answer comes
    // only after the program has given up waiting.
    const struct {
        std::chrono::milliseconds timeout;
        bool answered;
    } cases[] = {{20s, true}, {500ms, false}};
    constexpr auto kPrompt = 1500ms;
    for (const auto& c : cases) {
        StandInTimedated timedated(bus_.Address(), Answer::Success, kPrompt);
        ASSERT_TRUE(timedated.Ready());
        const std::int64_t recordUsec = RealtimeMicroseconds() + 3600 * std::int64_t{1000000};
        EXPECT_EQ(SetTimeThroughTimedated(recordUsec, Call(c.timeout)), c.answered);
        // A given-up call is still answered by the stand-in, as a late polkit answer is applied.
        for (int i = 0; i < 500 && timedated.Calls().empty(); ++i) std::this_thread::sleep_for(10ms);
        ASSERT_FALSE(timedated.Calls().empty());
        const SetTimeCall call = timedated.Calls()[0];
        const std::int64_t expected = recordUsec + std::chrono::microseconds(kPrompt).count();
        EXPECT_NEAR(static_cast<double>(call.appliedUsec), static_cast<double>(expected), 100000.0)
            << "timeout " << c.timeout.count() << " ms: off by " << (call.appliedUsec - expected) / 1000 << " ms";
    }
}

TEST_F(TimedatedRoute, APressWhileAnEarlierRequestIsHeldAddsNoSecondChange) {
    // The prompt outlasts the first press's limit, and a second press comes while it is open. Were
    // both requests approved, the clock would get the offset twice. It must change once, to the
    // first record's time plus the prompt, whether the second press outlasts the prompt or not.
    constexpr auto kPrompt = 1500ms;
    const std::chrono::milliseconds secondLimits[] = {20s, 300ms};
    for (const auto secondLimit : secondLimits) {
        StandInTimedated timedated(bus_.Address(), Answer::Success, kPrompt);
        ASSERT_TRUE(timedated.Ready());
        const std::int64_t recordUsec = RealtimeMicroseconds() + 3600 * std::int64_t{1000000};
        EXPECT_FALSE(SetTimeThroughTimedated(recordUsec, Call(300ms)));
        const std::int64_t secondRecordUsec = recordUsec + 300000;  // the server's clock a press later
        EXPECT_EQ(SetTimeThroughTimedated(secondRecordUsec, Call(secondLimit)), secondLimit > kPrompt);
        // Long enough for a second request, held as long, to be answered too.
        std::this_thread::sleep_for(2 * kPrompt);
        const std::vector<SetTimeCall> calls = timedated.Calls();
        ASSERT_EQ(calls.size(), 1u) << "second limit " << secondLimit.count() << " ms";
        const std::int64_t expected = recordUsec + std::chrono::microseconds(kPrompt).count();
        EXPECT_NEAR(static_cast<double>(calls[0].appliedUsec), static_cast<double>(expected), 100000.0)
            << "second limit " << secondLimit.count() << " ms: off by " << (calls[0].appliedUsec - expected) / 1000
            << " ms";
    }
}

TEST_F(TimedatedRoute, EveryRefusalIsFalse) {
    const Answer refusals[] = {Answer::AutomaticSyncEnabled, Answer::AccessDenied,
                               Answer::InteractiveAuthorizationRequired, Answer::Cancelled};
    for (Answer answer : refusals) {
        StandInTimedated timedated(bus_.Address(), answer);
        ASSERT_TRUE(timedated.Ready()) << Name(answer);
        EXPECT_FALSE(SetTimeThroughTimedated(kRecordUsec, Call())) << Name(answer);
        EXPECT_EQ(timedated.Calls().size(), 1u) << Name(answer) << ": the refusal must come from the service";
    }
}

TEST_F(TimedatedRoute, NoServiceOnTheBusIsFalse) { EXPECT_FALSE(SetTimeThroughTimedated(kRecordUsec, Call())); }

TEST_F(TimedatedRoute, ServiceThatNeverAnswersIsFalseOnceTheTimeOutHasPassed) {
    StandInTimedated timedated(bus_.Address(), Answer::Silent);
    ASSERT_TRUE(timedated.Ready());
    EXPECT_FALSE(SetTimeThroughTimedated(kRecordUsec, Call(300ms)));
}

TEST(TimedatedRouteWithoutBus, NoBusAtTheAddressIsFalse) {
    const char* addresses[] = {"unix:path=/nonexistent/orvane-test/bus", "unix:abstract=orvane-test-nobody-listens",
                               "not a bus address"};
    for (const char* address : addresses) {
        EXPECT_FALSE(SetTimeThroughTimedated(kRecordUsec, {address, 20s})) << address;
    }
}

// A socket that takes the connection into its backlog and never says a word: the time-out must
// cover the connection's handshake, not only the call.
TEST(TimedatedRouteWithoutBus, PeerThatNeverCompletesTheHandshakeIsFalse) {
    const std::string name = "orvane-test-mute-" + std::to_string(getpid());
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path + 1, sizeof address.sun_path - 2);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 4), 0);

    EXPECT_FALSE(SetTimeThroughTimedated(kRecordUsec, {"unix:abstract=" + name, 300ms}));
    close(listener);
}

// The real clock, asked by a process that may not set it, passes the request on. The child is
// forked before the stand-in's thread starts and waits for it to be ready.
struct NativeCase {
    SYSTEMTIME time;
    Answer answer;
    int expected;  // the child's exit code: 1 for success, 0 for a refusal
    std::size_t calls;
    const char* why;
};

TEST_F(TimedatedRoute, ClockWithoutTheRightAsksTimedatedForRealInstantsOnly) {
    const NativeCase cases[] = {
        {Utc(2007, 12, 7, 14, 39, 10, 250), Answer::Success, 1, 1, "granted"},
        {Utc(2007, 12, 7, 14, 39, 10, 250), Answer::AutomaticSyncEnabled, 0, 1, "refused by timedated"},
        {Utc(2007, 2, 30, 14, 39, 10, 0), Answer::Success, 0, 0, "30 February"},
        {Utc(2007, 12, 7, 24, 0, 0, 0), Answer::Success, 0, 0, "hour 24"},
        {Utc(2007, 12, 7, 14, 39, 10, 1000), Answer::Success, 0, 0, "millisecond 1000"},
        {Utc(1951, 1, 1, 0, 0, 0, 0), Answer::Success, 0, 0, "a year before the epoch"},
        {Utc(3907, 12, 7, 14, 39, 10, 0), Answer::Success, 0, 0, "a year beyond the kernel's range"},
    };
    for (const NativeCase& c : cases) {
        const std::string address = bus_.Address();
        test::UnprivilegedChild child([&c, &address] {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
            return CLinuxClock().SetSystemTime(c.time) ? 1 : 0;
        });
        StandInTimedated timedated(address, c.answer);
        ASSERT_TRUE(timedated.Ready()) << c.why;
        EXPECT_EQ(child.Wait(), c.expected)
            << c.why << " (" << test::kChildKeptItsRights << ": the child kept its rights)";
        const std::vector<SetTimeCall> calls = timedated.Calls();
        ASSERT_EQ(calls.size(), c.calls) << c.why;
        if (!calls.empty()) {
            EXPECT_TRUE(calls[0].relative) << c.why;
            EXPECT_NEAR(static_cast<double>(calls[0].appliedUsec), static_cast<double>(kRecordUsec), 1e6) << c.why;
        }
    }
}


TEST_F(TimedatedRoute, ReadsAutomaticSynchronisationFromNtpAndNtpSynchronized) {
    const struct {
        bool ntp, synchronised;
        AutomaticSync expected;
    } cases[] = {{false, true, AutomaticSync::Off}, {true, true, AutomaticSync::OnSynchronised},
                 {true, false, AutomaticSync::OnUnsynchronised}};
    for (const auto& c : cases) {
        StandInTimedated timedated(bus_.Address(), Answer::Success, 0ms, {c.ntp, c.synchronised});
        ASSERT_TRUE(timedated.Ready());
        EXPECT_EQ(ReadAutomaticSyncFromTimedated(Call()), c.expected) << "NTP " << c.ntp << ", synchronised " << c.synchronised;
    }
    EXPECT_EQ(ReadAutomaticSyncFromTimedated(Call()), AutomaticSync::Off) << "no timedated";
}

TEST_F(TimedatedRoute, SuspendingSynchronisationTurnsItOnAgainWhateverHappened) {
    const struct {
        const char* name;
        Answer setTime;
        StandInSync sync;
        SuspendedSetOutcome expected;  // synchronisation always on again
        std::vector<std::string> log;
    } cases[] = {
        {"approved", Answer::Success, {true}, {true, true}, {"SetNTP(false)", "SetTime", "SetNTP(true)"}},
        {"SetTime's prompt cancelled", Answer::Cancelled, {true}, {false, true}, {"SetNTP(false)", "SetTime", "SetNTP(true)"}},
        {"the service still stopping", Answer::Success, {true, false, 120ms}, {true, true},
         {"SetNTP(false)", "SetTime refused: NTP on", "SetTime", "SetNTP(true)"}},
        // Synchronisation was never off, so no second prompt for turning it on.
        {"SetNTP's prompt cancelled", Answer::Success, {true, false, 0ms, Answer::Cancelled}, {false, true},
         {"SetNTP(false)"}},
    };
    for (const auto& c : cases) {
        // Each answer held as a prompt would: the clock must still get the record's time plus the wait.
        StandInTimedated timedated(bus_.Address(), c.setTime, 200ms, c.sync);
        ASSERT_TRUE(timedated.Ready());
        const std::int64_t start = RealtimeMicroseconds(), recordUsec = start + 3600 * std::int64_t{1000000};
        const SuspendedSetOutcome outcome = SetTimeThroughTimedatedSuspendingSync(recordUsec, Call());
        const std::int64_t returned = RealtimeMicroseconds();
        EXPECT_TRUE(outcome.clockSet == c.expected.clockSet && outcome.syncOn) << c.name;
        std::vector<std::string> log = timedated.Log();
        log.erase(std::unique(log.begin(), log.end()), log.end());  // a refusal repeats while the service stops
        EXPECT_EQ(log, c.log) << c.name;
        EXPECT_NE(ReadAutomaticSyncFromTimedated(Call()), AutomaticSync::Off) << c.name;
        // Set 200 ms (SetNTP(true)'s prompt) before the call returned, the prompts before it added.
        const std::vector<SetTimeCall> calls = timedated.Calls();
        const std::int64_t off = calls.empty() ? 0 : calls.back().appliedUsec - (recordUsec + returned - 200000 - start);
        EXPECT_LT(std::llabs(off), 100000) << c.name << ": off by " << off / 1000 << " ms";
    }
}

TEST_F(TimedatedRoute, ARequestAnsweredWhileNoPressWaitedIsOverAndTheNextPressSendsItsOwn) {
    constexpr auto kPrompt = 600ms;
    StandInTimedated timedated(bus_.Address(), Answer::Success, kPrompt);
    ASSERT_TRUE(timedated.Ready());
    EXPECT_FALSE(SetTimeThroughTimedated(RealtimeMicroseconds(), Call(100ms)));
    std::this_thread::sleep_for(2 * kPrompt);  // the password typed after the press gave up
    ASSERT_EQ(timedated.Calls().size(), 1u);

    const std::int64_t secondRecord = RealtimeMicroseconds() + 7200 * std::int64_t{1000000};
    EXPECT_TRUE(SetTimeThroughTimedated(secondRecord, Call()));
    const std::vector<SetTimeCall> calls = timedated.Calls();
    ASSERT_EQ(calls.size(), 2u) << "the old answer was taken for the new press";
    EXPECT_NEAR(static_cast<double>(calls[1].appliedUsec),
                static_cast<double>(secondRecord + std::chrono::microseconds(kPrompt).count()), 100000.0);
}

TEST_F(TimedatedRoute, ASignalWhileThePromptIsOpenDoesNotDropTheRequest) {
    struct sigaction action {}, previous{};
    action.sa_handler = [](int) {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    StandInTimedated timedated(bus_.Address(), Answer::Success, 800ms);
    ASSERT_TRUE(timedated.Ready());
    std::thread signaller([caller = pthread_self()] {
        for (int i = 0; i < 3; ++i, std::this_thread::sleep_for(150ms)) pthread_kill(caller, SIGUSR1);
    });
    EXPECT_TRUE(SetTimeThroughTimedated(RealtimeMicroseconds(), Call()));
    signaller.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(timedated.Calls().size(), 1u);
}

}  // namespace
}  // namespace orvane
