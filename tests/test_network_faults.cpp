// Set Clock against broken networks and servers, end to end on Linux: the main window's own handler
// over the real Internet library, against servers on 127.0.0.1 started by the test, with the clock,
// the windows and the settings replaced by doubles.
//
// Each fault must end as the outcome table of Set Clock says (a status text, or a failure report
// with the library's text for its code) within the library's time-outs, with the wait cursor ended
// and every socket closed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/AppNames.h"
#include "config/SettingsStore.h"
#include "doubles/FakeClock.h"
#include "doubles/FakeHelp.h"
#include "doubles/FakeMessageBox.h"
#include "doubles/FakeRegistry.h"
#include "doubles/FakeWindows.h"
#include "linux/NoProxy.h"
#include "platform/Clock.h"
#include "platform/LocalTime.h"
#include "platform/Seam.h"
#include "platform/linux/InternetLinux.h"
#include "platform/linux/PlatformServices.h"
#include "res/resource.h"
#include "tools/daytimed/DaytimeServer.h"
#include "ui/OrvaneDlg.h"

namespace orvane {

namespace {

using daytimed::DaytimeServer;
using daytimed::Scenario;

const std::string kRecord = "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *";
const std::string kLocalTime = "7/4/2024 9:20:01 AM";
const std::string kClockSet = "Set computer's clock to " + kLocalTime + ".";
const std::string kCouldNotSet =
    "Could not set clock.  Make sure you are logged onto the Internet.  If so, press the Configure button.";

// The library's texts for the codes these faults give.
const std::string kCannotConnect = "A connection with the server could not be established.\r\n";
const std::string kNotResolved = "The server name or address could not be resolved.\r\n";
const std::string kReset = "The connection with the server was reset.\r\n";
const std::string kTimedOut = "The operation timed out.\r\n";
const std::string kRedirectFailed =
    "The redirection failed: there were too many, or one led to a protocol that is not allowed.\r\n";
const std::string kSecureChannel = "A secure connection with the server could not be established.\r\n";

class FixedLocalTime : public ILocalTime {
public:
    std::string CurrentDateTimeText() override { return kLocalTime; }
};

SYSTEMTIME RecordTime() {
    SYSTEMTIME t{};
    t.wYear = 2007;
    t.wMonth = 12;
    t.wDay = 7;
    t.wHour = 14;
    t.wMinute = 39;
    t.wSecond = 10;
    return t;
}

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

// Open file descriptors of this process: sockets that a fault leaves open show up here.
int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        ::closedir(dir);
        --count;  // the one that reads the folder
    }
    return count;
}

// A port of 127.0.0.1 on which nothing listens: bound once to find it, then closed.
std::uint16_t RefusingPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

// A server on 127.0.0.1 for the faults that the daytime server has no scenario for: every
// connection is handed to `answer` on the server's thread, with the descriptor that becomes
// readable when the server stops.
class ScriptedServer {
public:
    using Answer = std::function<void(int client, int stop)>;

    explicit ScriptedServer(Answer answer) : answer_(std::move(answer)) {
        if (::pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedServer() {
        const char stop = 's';
        while (::write(stop_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
        ::close(listener_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }

    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    void Serve() {
        for (;;) {
            pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
            if (fds[1].revents) return;
            if (!(fds[0].revents & POLLIN)) continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            answer_(client, stop_[0]);
            ::close(client);
        }
    }

    Answer answer_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// Waits until `client` is readable (true) or the server stops (false).
bool WaitReadable(int client, int stop) {
    for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents) return false;
        if (fds[0].revents) return true;
    }
}

// Reads the client's request up to the blank line that ends its headers.
void TakeRequest(int client, int stop) {
    std::string request;
    char chunk[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && WaitReadable(client, stop)) {
        const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) return;
        request.append(chunk, static_cast<std::size_t>(got));
    }
}

bool SendAll(int client, int stop, std::string_view bytes) {
    while (!bytes.empty()) {
        pollfd fds[2] = {{client, POLLOUT, 0}, {stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents || (fds[0].revents & (POLLERR | POLLHUP))) return false;
        const ssize_t sent = ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Holds the connection until the client closes it or the server stops.
void HoldUntilGone(int client, int stop) {
    char sink[4096];
    while (WaitReadable(client, stop)) {
        if (::recv(client, sink, sizeof sink, 0) <= 0) return;
    }
}

// Ends the reply with a clean close: a socket closed with the request unread would be reset instead.
void CloseCleanly(int client, int stop) {
    ::shutdown(client, SHUT_WR);
    HoldUntilGone(client, stop);
}

// A close with a zero linger time sends a reset (RST) instead of an orderly end (FIN).
void Reset(int client) {
    const linger abort{1, 0};
    ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

// 64 KiB of every byte value but the ASCII digits, NUL, CR and LF among them: no line of it can hold
// a number.
std::string JunkWithoutDigits() {
    std::string junk;
    std::uint32_t state = 12345;
    while (junk.size() < 64 * 1024) {
        state = state * 1103515245u + 12345u;
        char byte = static_cast<char>(state >> 24);
        if (byte >= '0' && byte <= '9') byte = static_cast<char>(byte | 0x80);
        junk.push_back(byte);
    }
    return junk;
}

// What one press of Set Clock left behind.
struct Outcome {
    std::string status;
    std::vector<test::FakeMessageBox::Box> boxes;
    std::vector<SYSTEMTIME> clockSet;
    int cursorDepth = 0;
    int cursorBegun = 0;
    std::chrono::milliseconds took{0};
};

std::string Show(const Outcome& outcome) {
    std::string out = "status [" + outcome.status + "], ";
    out += std::to_string(outcome.boxes.size()) + " box(es)";
    for (const auto& box : outcome.boxes) out += " [" + box.text + "]";
    out += ", clock set " + std::to_string(outcome.clockSet.size()) + " time(s), after " +
           std::to_string(outcome.took.count()) + " ms";
    return out;
}

class NetworkFaults : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearProxyEnvironment();
        SetAppNames(DeriveAppNames("/opt/orvane/orvane"));
        AppSettings().SetKeyNames("Quintarro", "orvane");
        windows.templates[IDD_MAIN] = {0, RECT{0, 0, 300, 120},
                                       {{IDC_SET_CLOCK, WS_TABSTOP}, {IDC_CONFIGURE, WS_TABSTOP},
                                        {IDC_HELP_BUTTON, WS_TABSTOP}, {IDC_ABOUT, WS_TABSTOP}, {IDOK, WS_TABSTOP},
                                        {IDC_STATUS, 0}}};
        // A stall is given up after a second instead of half a minute; the rest stay generous.
        saved = inet::CurrentTimeouts();
        inet::Timeouts shortened;
        shortened.connect = std::chrono::seconds(10);
        shortened.stall = std::chrono::seconds(1);
        shortened.total = std::chrono::seconds(30);
        inet::SetTimeouts(shortened);
    }

    void TearDown() override { inet::SetTimeouts(saved); }

    // Chooses `url` as the user's own URL, opens the main window, presses Set Clock once, and closes
    // the window with Exit.
    Outcome PressSetClock(const std::string& url) {
        EXPECT_TRUE(AppSettings().WriteInt("Configuration", "RadioButton", 1));
        EXPECT_TRUE(AppSettings().WriteString("Configuration", "URL", url));
        clock.set.clear();
        clock.requests.clear();
        boxes.boxes.clear();
        cursor = test::FakeCursor();

        Outcome outcome;
        windows.onModalLoop = [&](HWND main) {
            ASSERT_NE(static_cast<COrvaneDlg*>(nullptr), mainWindow);
            ASSERT_NE(mainWindow->Session(), nullptr) << "the main window has no internet session";
            HWND status = windows.GetDlgItem(main, IDC_STATUS);
            windows.SetWindowText(status, "before the press");
            const auto start = std::chrono::steady_clock::now();
            windows.Send(main, WM_COMMAND, MAKEWPARAM(IDC_SET_CLOCK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(windows.GetDlgItem(main, IDC_SET_CLOCK)));
            outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            outcome.status = windows.GetWindowText(status);
            windows.Send(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(windows.GetDlgItem(main, IDOK)));
        };
        {
            COrvaneDlg dlg;
            mainWindow = &dlg;
            dlg.DoModal();
            mainWindow = nullptr;
        }
        outcome.boxes = boxes.boxes;
        outcome.clockSet = clock.set;
        outcome.cursorDepth = cursor.depth;
        outcome.cursorBegun = cursor.begun;
        return outcome;
    }

    // The outcome of a fault that the library reports: an empty status line, one box with the stop
    // icon and the library's text, the clock untouched.
    void ExpectFailureReport(const Outcome& outcome, const std::string& text, const std::string& fault) {
        EXPECT_EQ(outcome.status, "") << fault << ": " << Show(outcome);
        ASSERT_EQ(outcome.boxes.size(), 1u) << fault << ": " << Show(outcome);
        EXPECT_EQ(outcome.boxes[0].text, text) << fault;
        EXPECT_EQ(outcome.boxes[0].caption, "orvane") << fault;
        EXPECT_EQ(outcome.boxes[0].type, MB_ICONSTOP) << fault;
        EXPECT_TRUE(outcome.clockSet.empty()) << fault << ": " << Show(outcome);
        ExpectCursorEnded(outcome, fault);
    }

    void ExpectClockSet(const Outcome& outcome, const std::string& fault) {
        EXPECT_EQ(outcome.status, kClockSet) << fault << ": " << Show(outcome);
        EXPECT_TRUE(outcome.boxes.empty()) << fault << ": " << Show(outcome);
        ASSERT_EQ(outcome.clockSet.size(), 1u) << fault << ": " << Show(outcome);
        EXPECT_TRUE(SameTime(outcome.clockSet[0], RecordTime())) << fault;
        ExpectCursorEnded(outcome, fault);
    }

    void ExpectCouldNotSet(const Outcome& outcome, const std::string& fault) {
        EXPECT_EQ(outcome.status, kCouldNotSet) << fault << ": " << Show(outcome);
        EXPECT_TRUE(outcome.boxes.empty()) << fault << ": " << Show(outcome);
        EXPECT_TRUE(outcome.clockSet.empty()) << fault << ": " << Show(outcome);
        ExpectCursorEnded(outcome, fault);
    }

    static void ExpectCursorEnded(const Outcome& outcome, const std::string& fault) {
        EXPECT_EQ(outcome.cursorBegun, 1) << fault << ": the wait cursor was not shown once";
        EXPECT_EQ(outcome.cursorDepth, 0) << fault << ": the wait cursor was left on";
    }

    // Runs `fault` twice, the first time to let the libraries make what they keep for the life of
    // the process; the second run must close every descriptor it opened. Each run starts and stops
    // its own server, so that a connection the server has not yet let go of is not counted.
    void ExpectNoDescriptorLeft(const std::string& name, const std::function<void()>& fault) {
        fault();
        const int before = OpenDescriptors();
        fault();
        EXPECT_EQ(OpenDescriptors(), before) << name << ": descriptors left open";
    }

    test::FakeClock clock;
    test::FakeWindows windows;
    test::FakeMessageBox boxes;
    test::FakeHelp help;
    test::FakeCursor cursor;
    test::FakeRegistry registry;
    FixedLocalTime localTime;
    // The real Internet library and string table: the faults are the network's.
    CCurlInternet internet;
    CLinkedResources resources;
    ScopedSeam<IClock> clockSeam{clock};
    ScopedSeam<IWindows> windowsSeam{windows};
    ScopedSeam<IMessageBox> boxesSeam{boxes};
    ScopedSeam<IHelp> helpSeam{help};
    ScopedSeam<ICursor> cursorSeam{cursor};
    ScopedSeam<IRegistry> registrySeam{registry};
    ScopedSeam<ILocalTime> localTimeSeam{localTime};
    ScopedSeam<IInternet> internetSeam{internet};
    ScopedSeam<IResources> resourcesSeam{resources};
    COrvaneDlg* mainWindow = nullptr;
    inet::Timeouts saved;
};

TEST_F(NetworkFaults, ARefusedPortIsReportedWithTheLibrarysText) {
    const std::string url = "http://127.0.0.1:" + std::to_string(RefusingPort());
    ExpectNoDescriptorLeft("refused port", [&] { ExpectFailureReport(PressSetClock(url), kCannotConnect, "refused port"); });
}

TEST_F(NetworkFaults, AnUnknownHostIsReportedWithoutAQueryLeavingTheMachine) {
    // The name is looked up on a thread in a network namespace of its own, which has no interface
    // up: the resolver's query cannot reach a name server, and no packet leaves the machine.
    Outcome outcome;
    bool isolated = false;
    std::thread lookup([&] {
        if (::unshare(CLONE_NEWNET) != 0) return;
        isolated = true;
        outcome = PressSetClock("http://nosuchhost.invalid:13");
    });
    lookup.join();
    if (!isolated) GTEST_SKIP() << "no private network namespace (needs root or CAP_SYS_ADMIN): the lookup would leave the machine";
    ExpectFailureReport(outcome, kNotResolved, "unknown host");
}

TEST_F(NetworkFaults, AResetBeforeTheRecordIsReported) {
    ExpectNoDescriptorLeft("reset before the record", [&] {
        ScriptedServer server([](int client, int stop) {
            TakeRequest(client, stop);
            Reset(client);
        });
        ExpectFailureReport(PressSetClock(server.Url()), kReset, "reset before the record");
    });
}

TEST_F(NetworkFaults, AResetAfterTheRecordComesTooLateToMatter) {
    // The record sets the clock and ends the reading; the reset that follows is never read.
    ExpectNoDescriptorLeft("reset after the record", [&] {
        DaytimeServer server(Scenario::ResetMidLine, 0, kRecord);
        ExpectClockSet(PressSetClock(server.Url()), "reset after the record");
    });
}

TEST_F(NetworkFaults, AResetEndsABareReplyButNotAnHttpReply) {
    // A daytime server sends at once and closes with the request unread, so its system answers with
    // a reset: after the first byte of a reply without a status line that is the end of the reply.
    ExpectNoDescriptorLeft("reset after lines without a record", [&] {
        ScriptedServer server([](int client, int stop) {
            if (SendAll(client, stop, "\nno record in this line\n")) {
                TakeRequest(client, stop);
                Reset(client);
            }
        });
        ExpectCouldNotSet(PressSetClock(server.Url()), "reset after lines without a record");
    });
    ExpectNoDescriptorLeft("record cut by a reset", [&] {
        DaytimeServer server(Scenario::CutRecord, 0, kRecord);
        ExpectCouldNotSet(PressSetClock(server.Url()), "record cut by a reset");
    });
    // With a status line the reply's end is the server's to say: a reset cuts it short.
    ExpectNoDescriptorLeft("reset inside an HTTP reply", [&] {
        ScriptedServer server([](int client, int stop) {
            TakeRequest(client, stop);
            if (SendAll(client, stop, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nno record in this line\n")) {
                Reset(client);
            }
        });
        ExpectFailureReport(PressSetClock(server.Url()), kReset, "reset inside an HTTP reply");
    });
}

TEST_F(NetworkFaults, ASilentServerIsGivenUpAfterTheTimeOut) {
    ExpectNoDescriptorLeft("silent server", [&] {
        DaytimeServer server(Scenario::Stall, 0, kRecord);
        ExpectFailureReport(PressSetClock(server.Url()), kTimedOut, "silent server");
    });
}

TEST_F(NetworkFaults, AStallInsideTheRecordIsGivenUpAfterTheTimeOut) {
    // Part of a line, then nothing: the failure comes from a read, after the open succeeded.
    ExpectNoDescriptorLeft("stall inside the record", [&] {
        ScriptedServer server([](int client, int stop) {
            TakeRequest(client, stop);
            if (SendAll(client, stop, "\n54441 07-12")) HoldUntilGone(client, stop);
        });
        ExpectFailureReport(PressSetClock(server.Url()), kTimedOut, "stall inside the record");
    });
}

TEST_F(NetworkFaults, AGapLongerThanTheTimeOutInsideTheRecordIsGivenUp) {
    // Part of a line, three seconds of nothing, then the rest of the record. The gap is three times
    // the time-out, yet libcurl's own speed check, which averages over its last five seconds, would
    // still see the first bytes and let the record through.
    ExpectNoDescriptorLeft("gap inside the record", [&] {
        ScriptedServer server([](int client, int stop) {
            TakeRequest(client, stop);
            if (!SendAll(client, stop, "\n54441 07-12")) return;
            // The client going away (readable: its end of the connection) or the server stopping
            // ends the gap early.
            pollfd fds[2] = {{client, POLLIN, 0}, {stop, POLLIN, 0}};
            if (::poll(fds, 2, 3000) != 0) return;
            if (SendAll(client, stop, "-07 14:39:10 00 0 0 123.4 UTC(NIST) *\n")) CloseCleanly(client, stop);
        });
        ExpectFailureReport(PressSetClock(server.Url()), kTimedOut, "gap inside the record");
    });
}

TEST_F(NetworkFaults, ASlowTrickleWithinTheTimeOutSetsTheClock) {
    // One byte every 20 ms: slow, but never a second without a byte.
    ExpectNoDescriptorLeft("slow trickle", [&] {
        DaytimeServer server(Scenario::Slow, 0, kRecord);
        ExpectClockSet(PressSetClock(server.Url()), "slow trickle");
    });
}

TEST_F(NetworkFaults, EndlessRecordsSetTheClockFromTheFirst) {
    ExpectNoDescriptorLeft("endless records", [&] {
        DaytimeServer server(Scenario::Endless, 0, kRecord);
        ExpectClockSet(PressSetClock(server.Url()), "endless records");
    });
}

TEST_F(NetworkFaults, AnEndlessReplyWithoutARecordIsReadOnlyUpToItsBound) {
    // The reading stops after one mebibyte as if the data had ended there.
    ExpectNoDescriptorLeft("endless lines without a record", [&] {
        ScriptedServer server([](int client, int stop) {
            TakeRequest(client, stop);
            while (SendAll(client, stop, "no record in this line\r\n")) {
            }
        });
        ExpectCouldNotSet(PressSetClock(server.Url()), "endless lines without a record");
    });
}

TEST_F(NetworkFaults, BinaryJunkSetsTheClockOnlyFromARecordAmongIt) {
    const std::string junk = JunkWithoutDigits();
    ExpectNoDescriptorLeft("binary junk", [&] {
        ScriptedServer server([&junk](int client, int stop) {
            TakeRequest(client, stop);
            if (SendAll(client, stop, junk)) CloseCleanly(client, stop);
        });
        ExpectCouldNotSet(PressSetClock(server.Url()), "binary junk");
    });
    ExpectNoDescriptorLeft("binary junk before a record", [&] {
        ScriptedServer server([&junk](int client, int stop) {
            TakeRequest(client, stop);
            if (SendAll(client, stop, junk + "\n" + kRecord + "\n")) CloseCleanly(client, stop);
        });
        ExpectClockSet(PressSetClock(server.Url()), "binary junk before a record");
    });
}

TEST_F(NetworkFaults, AnHttpErrorStatusStillDeliversItsBody) {
    // The program never looks at an HTTP status: the body of a 404 reply is read like any other.
    ExpectNoDescriptorLeft("HTTP 404", [&] {
        DaytimeServer server(Scenario::HttpError, 0, kRecord);
        ExpectClockSet(PressSetClock(server.Url()), "HTTP 404");
    });
}

TEST_F(NetworkFaults, ARedirectLoopIsReported) {
    ExpectNoDescriptorLeft("redirect loop", [&] {
        DaytimeServer server(Scenario::RedirectLoop, 0, kRecord);
        ExpectFailureReport(PressSetClock(server.Url()), kRedirectFailed, "redirect loop");
    });
}

TEST_F(NetworkFaults, TlsToAPlainServerIsReported) {
    // The daytime server answers the TLS greeting with its plain record.
    ExpectNoDescriptorLeft("TLS to a plain server", [&] {
        DaytimeServer server(Scenario::Nist, 0, kRecord);
        const std::string url = "https://127.0.0.1:" + std::to_string(server.Port());
        ExpectFailureReport(PressSetClock(url), kSecureChannel, "TLS to a plain server");
    });
}

}  // namespace
}  // namespace orvane
