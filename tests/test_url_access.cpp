// URL access end to end: the internet session and its streams over the real Internet library,
// against a real daytime server on 127.0.0.1; and the opening rules over a recording double.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppNames.h"
#include "net/UrlAccess.h"
#include "platform/Internet.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/linux/InternetLinux.h"
#include "linux/NoProxy.h"
#include "linux/PrivateNetwork.h"
#include "linux/TempDir.h"
#include "platform/linux/PlatformServices.h"
#include "tools/daytimed/DaytimeServer.h"

namespace orvane {
namespace {

using daytimed::DaytimeServer;
using daytimed::Scenario;

const std::string kRecord = "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *";
// What a NIST reply reads as: an empty line, then the record with the blank that follows it.
const std::string kRecordLine = kRecord + " ";
constexpr DWORD kSetClockFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_ASCII;

// The file-failure texts come from the string table; only the ones these tests meet are here.
class StringTable : public IResources {
public:
    std::optional<std::string> LoadString(UINT id) override {
        if (id == 0xF1A2) return "%1 was not found.";
        if (id == 0xF1A5) return "Access to %1 was denied.";
        if (id == 0xF006) return "an unnamed file";
        return std::nullopt;
    }
};

// Every line until the end of the data.
std::vector<std::string> ReadAll(CUrlStream& stream) {
    std::vector<std::string> lines;
    std::string line;
    while (stream.ReadLine(line)) lines.push_back(line);
    EXPECT_EQ(line, "") << "the line after the end of the data";
    return lines;
}

std::string Show(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += "[";
        out += line.size() > 80 ? line.substr(0, 80) + "...(" + std::to_string(line.size()) + " bytes)" : line;
        out += "]\n";
    }
    return out;
}

// A port of 127.0.0.1 on which nothing listens: bound once to find it, then closed.
std::uint16_t RefusingPort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    close(probe);
    return ntohs(address.sin_port);
}

// --- Over the real Internet library ------------------------------------------------------------

class UrlAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ClearProxyEnvironment();
        SetAppNames(DeriveAppNames("/opt/orvane/orvane"));
        session = std::make_unique<CInternetSession>(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                                     INTERNET_FLAG_DONT_CACHE);
    }

    std::unique_ptr<CUrlStream> Open(const std::string& url) { return session->OpenUrl(url, 1, kSetClockFlags); }

    // The lines of `scenario`'s reply as the program reads them.
    std::vector<std::string> LinesOf(Scenario scenario) {
        DaytimeServer server(scenario, 0, kRecord);
        std::unique_ptr<CUrlStream> stream = Open(server.Url());
        EXPECT_NE(stream, nullptr);
        if (!stream) return {};
        EXPECT_TRUE(stream->IsHttpResponse());
        std::vector<std::string> lines = ReadAll(*stream);
        stream->CloseStream();
        return lines;
    }

    // The failure that opening `url` and reading it to the end raises; nullopt when none.
    std::optional<CInternetFailure> FailureOf(const std::string& url, std::vector<std::string>* linesBefore = nullptr) {
        try {
            std::unique_ptr<CUrlStream> stream = Open(url);
            std::string line;
            while (stream && stream->ReadLine(line)) {
                if (linesBefore) linesBefore->push_back(line);
            }
        } catch (const CInternetFailure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    StringTable strings;
    CCurlInternet internet;
    ScopedSeam<IResources> stringsSeam{strings};
    ScopedSeam<IInternet> internetSeam{internet};
    std::unique_ptr<CInternetSession> session;
};

TEST_F(UrlAccessTest, RepliesAreSplitIntoLinesAsTheProgramReadsThem) {
    const struct {
        Scenario scenario;
        std::vector<std::string> lines;
    } cases[] = {
        // The daytime scenarios end with the reset of the request that the server never read:
        // after the first byte of a reply without a status line, that is the end of the reply.
        {Scenario::Nist, {"", kRecordLine}},
        {Scenario::NistReadFirst, {"", kRecordLine}},
        // CR is dropped wherever it stands, not only before LF.
        {Scenario::CrLfLines, {"", kRecordLine, "1234"}},
        // Two records in one reply, and a last line without LF, which a clean close delivers.
        {Scenario::SeveralLines, {"first line", "", kRecordLine, "", kRecordLine, "last line"}},
        {Scenario::Empty, {}},
        {Scenario::CarriageReturnsOnly, {}},
        // A line longer than the 4096-byte buffer, spread over several fills, comes back whole.
        {Scenario::LongLine, {daytimed::LongLineText(), "", kRecordLine}},
        // The bytes come one at a time: lines are joined across many reads.
        {Scenario::Slow, {"", kRecordLine}},
        // An unfinished line that a reset cuts is dropped, never handed out.
        {Scenario::ResetMidLine, {"", kRecordLine}},
        {Scenario::CutRecord, {""}},
        // With a status line only the body is delivered, whatever the status.
        {Scenario::Http10, {"", kRecordLine}},
        {Scenario::HttpError, {"", kRecordLine}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = LinesOf(c.scenario);
        EXPECT_EQ(lines, c.lines) << "scenario " << daytimed::ScenarioName(c.scenario) << ", read:\n" << Show(lines);
    }
}

TEST_F(UrlAccessTest, AfterTheEndEveryReadAnswersFalseAgain) {
    DaytimeServer server(Scenario::Nist, 0, kRecord);
    std::unique_ptr<CUrlStream> stream = Open(server.Url());
    ASSERT_NE(stream, nullptr);
    std::string line;
    ASSERT_TRUE(stream->ReadLine(line));
    ASSERT_TRUE(stream->ReadLine(line));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(stream->ReadLine(line)) << "call " << i << " after the end gave [" << line << "]";
        EXPECT_EQ(line, "");
    }
}

TEST_F(UrlAccessTest, ALiveRecordIsReadFromTheServersClock) {
    DaytimeServer server(Scenario::Nist);
    std::unique_ptr<CUrlStream> stream = Open(server.Url());
    ASSERT_NE(stream, nullptr);
    const std::vector<std::string> lines = ReadAll(*stream);
    ASSERT_EQ(lines.size(), 2u) << Show(lines);
    // Digits where the sample record has digits, the same separators elsewhere.
    ASSERT_EQ(lines[1].size(), kRecordLine.size()) << lines[1];
    for (std::size_t i = 0; i < kRecordLine.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(kRecordLine[i])) != 0;
        if (digit) {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(lines[1][i]))) << "at " << i << ": " << lines[1];
        } else {
            EXPECT_EQ(lines[1][i], kRecordLine[i]) << "at " << i << ": " << lines[1];
        }
    }
}

TEST_F(UrlAccessTest, ARefusedConnectionIsAnInternetFailureWithItsText) {
    const std::optional<CInternetFailure> failure =
        FailureOf("http://127.0.0.1:" + std::to_string(RefusingPort()));
    ASSERT_TRUE(failure.has_value()) << "the refused connection raised nothing";
    EXPECT_EQ(failure->GetErrorCode(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(failure->GetContext(), 1u);
    std::string text;
    UINT help = 99;
    EXPECT_TRUE(failure->GetErrorText(text, 512, &help));
    EXPECT_EQ(text, "A connection with the server could not be established.\r\n");
    EXPECT_EQ(help, 0u);
}

TEST_F(UrlAccessTest, AnUnknownHostIsNotResolved) {
    // .invalid never resolves, but a resolver would still ask its name server: the lookup runs
    // where no query can leave the machine.
    std::optional<CInternetFailure> failure;
    if (!test::InPrivateNetwork([&] { failure = FailureOf("http://nosuchhost.invalid:13"); })) {
        GTEST_SKIP() << "no private network namespace (needs root): the lookup would leave the machine";
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->GetErrorCode(), ERROR_INTERNET_NAME_NOT_RESOLVED);
    std::string text;
    EXPECT_TRUE(failure->GetErrorText(text, 512, nullptr));
    EXPECT_EQ(text, "The server name or address could not be resolved.\r\n");
}

TEST_F(UrlAccessTest, AResetEndsABareReplyAfterItsLastCompleteLine) {
    // The record, "partial" and the reset; or the record cut short by the reset. Either way the
    // reading ends without a failure and the cut line is never handed out.
    const struct {
        Scenario scenario;
        std::vector<std::string> lines;
    } cases[] = {
        {Scenario::ResetMidLine, {"", kRecordLine}},
        {Scenario::CutRecord, {""}},
    };
    for (const auto& c : cases) {
        DaytimeServer server(c.scenario, 0, kRecord);
        std::vector<std::string> lines;
        const std::optional<CInternetFailure> failure = FailureOf(server.Url(), &lines);
        EXPECT_EQ(lines, c.lines) << daytimed::ScenarioName(c.scenario) << ":\n" << Show(lines);
        EXPECT_FALSE(failure.has_value()) << daytimed::ScenarioName(c.scenario) << ": failure "
                                          << (failure ? failure->GetErrorCode() : 0);
    }
}

TEST_F(UrlAccessTest, AResetAfterPartOfALineWasHandedOutIsAFailure) {
    // A line too long to be held back goes out before its end has come. The reset that then cuts
    // it is no end of the line: the reader would take the cut head for a whole line.
    DaytimeServer server(Scenario::LongLineCut, 0, kRecord);
    std::vector<std::string> lines;
    const std::optional<CInternetFailure> failure = FailureOf(server.Url(), &lines);
    EXPECT_EQ(lines, std::vector<std::string>{""}) << Show(lines);
    ASSERT_TRUE(failure.has_value()) << "the cut line ended cleanly";
    EXPECT_EQ(failure->GetErrorCode(), ERROR_INTERNET_CONNECTION_RESET);
}

TEST_F(UrlAccessTest, OnlyTheUnreadPartOfAReplyIsHeld) {
    // Read in the line reader's 4096-byte pieces; lines longer than one receive seldom end where
    // the received bytes end, so some unread bytes are nearly always left.
    DaytimeServer server(Scenario::EndlessLongLines, 0, kRecord);
    DWORD error = 0;
    HINTERNET opened = internet.InternetOpen("test", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0, &error);
    HINTERNET url = internet.InternetOpenUrl(opened, server.Url(), nullptr, kSetClockFlags, 0, &error);
    ASSERT_NE(url, nullptr) << error;
    std::size_t total = 0;
    std::size_t mostHeld = 0;
    char buffer[4096];
    for (DWORD read = 1; total < (4u << 20) && read > 0; total += read) {
        ASSERT_TRUE(internet.InternetReadFile(url, buffer, sizeof buffer, &read, &error)) << error;
        mostHeld = std::max(mostHeld, inet::HeldBytes(url));
    }
    EXPECT_LE(mostHeld, 256u * 1024) << "after " << total << " bytes read";
    internet.InternetCloseHandle(url);
    internet.InternetCloseHandle(opened);
}

TEST_F(UrlAccessTest, AServerThatNeverReadsTheRequestDeliversItsRecordAndEnds) {
    // The server closes with the request unread, so the client's system is answered with a reset.
    DaytimeServer server(Scenario::CloseUnread, 0, kRecord);
    std::unique_ptr<CUrlStream> stream = Open(server.Url());
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadAll(*stream), (std::vector<std::string>{"", kRecordLine}));
}

TEST_F(UrlAccessTest, AnEndlessReplyEndsAfterOneMebibyte) {
    DaytimeServer server(Scenario::Endless, 0, kRecord);
    std::unique_ptr<CUrlStream> stream = Open(server.Url());
    ASSERT_NE(stream, nullptr);
    std::size_t bytes = 0;
    std::size_t count = 0;
    std::string line;
    while (stream->ReadLine(line)) {
        EXPECT_TRUE(line.empty() || line == kRecordLine) << "line " << count << ": [" << line << "]";
        bytes += line.size() + 1;
        ++count;
    }
    // Every byte taken was a line's byte or its LF, up to the bound; the line that the bound cut
    // was dropped, so at most one reply's worth of bytes falls short of it.
    EXPECT_LE(bytes, CLineReader::kMaxReplyBytes);
    EXPECT_GT(bytes + daytimed::ScenarioReply(Scenario::Nist, kRecord).size(), CLineReader::kMaxReplyBytes);
    EXPECT_FALSE(stream->ReadLine(line)) << "the stream went on reading past the bound";
    stream->CloseStream();
}

TEST_F(UrlAccessTest, AStalledServerTimesOut) {
    const inet::Timeouts saved = inet::CurrentTimeouts();
    inet::Timeouts shortened = saved;
    shortened.stall = std::chrono::seconds(1);
    inet::SetTimeouts(shortened);
    DaytimeServer server(Scenario::Stall);
    const std::optional<CInternetFailure> failure = FailureOf(server.Url());
    inet::SetTimeouts(saved);
    ASSERT_TRUE(failure.has_value()) << "the stall ended without a failure";
    EXPECT_EQ(failure->GetErrorCode(), ERROR_INTERNET_TIMEOUT);
}

TEST_F(UrlAccessTest, OnlyRedirectsWithATargetAreFollowedAndOnlyOnTheWeb) {
    // As WinINet: 301, 302, 303, 307 and 308 with a Location are followed, and any other reply is read
    // as the answer. A redirect may lead only to http or https: a server must not make the program
    // read a file of the user's own machine. Code 0: the NIST reply is read.
    const std::pair<Scenario, DWORD> cases[] = {{Scenario::RedirectLoop, inet::ERROR_HTTP_REDIRECT_FAILED}, {Scenario::RedirectToFile, inet::ERROR_HTTP_REDIRECT_FAILED},
        {Scenario::MultipleChoices, 0}, {Scenario::RedirectNowhere, 0}, {Scenario::RedirectToDaytime, 0}, {Scenario::HugeHeaderLine, inet::ERROR_HTTP_HEADER_SIZE_OVERFLOW},
        {Scenario::HugeHeaderBlock, inet::ERROR_HTTP_HEADER_SIZE_OVERFLOW}};
    for (const auto& [scenario, code] : cases) {
        DaytimeServer server(scenario, 0, kRecord);
        std::vector<std::string> lines;
        const std::optional<CInternetFailure> failure = FailureOf(server.Url(), &lines);
        EXPECT_EQ(failure ? failure->GetErrorCode() : 0, code) << daytimed::ScenarioName(scenario);
        EXPECT_EQ(lines, (code == 0 ? std::vector<std::string>{"", kRecordLine} : std::vector<std::string>{})) << daytimed::ScenarioName(scenario) << ":\n" << Show(lines);
    }
}

// Certificates that the openssl command makes in a temporary folder: an authority that the tests
// trust, and the server certificates it signs (good, expired, for another host) or that sign
// themselves. The folder also holds the replies that the server sends as they are.
class TestCertificates {
public:
    TestCertificates() {
        const char* kCommands =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem"
            " -days 2 -subj /CN=Orvane-Test-CA -addext basicConstraints=critical,CA:TRUE"
            " -addext keyUsage=critical,keyCertSign"
            " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout host.key -out host.csr"
            " -subj /CN=127.0.0.1"
            " && echo subjectAltName=IP:127.0.0.1 > here.ext && echo subjectAltName=DNS:time.example.org > away.ext"
            " && openssl x509 -req -in host.csr -CA ca.pem -CAkey ca.key -CAcreateserial -extfile here.ext"
            " -days 2 -out good.pem"
            " && openssl x509 -req -in host.csr -CA ca.pem -CAkey ca.key -CAcreateserial -extfile here.ext"
            " -days -1 -out expired.pem"
            " && openssl x509 -req -in host.csr -CA ca.pem -CAkey ca.key -CAcreateserial -extfile away.ext"
            " -days 2 -out other-host.pem"
            " && openssl req -x509 -key host.key -out self-signed.pem -days 2 -subj /CN=127.0.0.1"
            " -addext subjectAltName=IP:127.0.0.1";
        made_ = std::system(("cd '" + folder_.Path() + "' && (" + kCommands + ") >openssl.log 2>&1").c_str()) == 0;
        std::ofstream(folder_ / "record") << "HTTP/1.0 200 OK\r\n\r\n" << daytimed::ScenarioReply(Scenario::Nist, kRecord);
        // libcurl skips any white space before the target, vertical tab and form feed included; the refusal waits for no body.
        std::ofstream(folder_ / "moved") << "HTTP/1.0 302 Found\r\nContent-Length: 100000000\r\nLocation:\v\fhttp://127.0.0.1:"
                                         << RefusingPort() << "/\r\n\r\nmoved\n";
    }
    bool Made() const { return made_; }
    const test::TempDir& Folder() const { return folder_; }

private:
    test::TempDir folder_;
    bool made_ = false;
};

// `openssl s_server` on 127.0.0.1 presenting `certificate`, answering "GET /name" with the file
// `name` of the folder as it stands.
class TlsServer {
public:
    TlsServer(const test::TempDir& folder, const std::string& certificate) : port_(RefusingPort()) {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder.Path().c_str()) != 0) _exit(127);
            const std::string accept = "127.0.0.1:" + std::to_string(port_);
            const std::string cert = certificate + ".pem";
            const int quiet = open("/dev/null", O_WRONLY);
            if (quiet < 0 || dup2(quiet, 1) < 0) _exit(127);
            execlp("openssl", "openssl", "s_server", "-quiet", "-HTTP", "-accept", accept.c_str(), "-cert",
                   cert.c_str(), "-key", "host.key", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 250 && !ready_ && pid_ > 0; ++i) {
            const int probe = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port_);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ready_ = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            close(probe);
            if (!ready_) usleep(20000);
        }
    }
    ~TlsServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;
    bool Ready() const { return ready_; }
    std::string Url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(port_) + path; }

private:
    std::uint16_t port_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST_F(UrlAccessTest, ATlsServerThatCannotBeTrustedGivesItsOwnReason) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.Made()) << "openssl could not make the certificates: see "
                                     << certificates.Folder() / "openssl.log";
    inet::SetTrustedCertificates(certificates.Folder() / "ca.pem");
    const struct Restore {
        ~Restore() { inet::SetTrustedCertificates(""); }
    } restore;
    const struct {
        const char* certificate;
        const char* path;
        DWORD code;  // 0: the record is read
        const char* text;
    } cases[] = {
        {"good", "/record", 0, ""},
        {"expired", "/record", 12037, "The server's certificate has expired or is not yet valid.\r\n"},
        {"other-host", "/record", 12038, "The server's certificate was issued for another host name.\r\n"},
        {"self-signed", "/record", 12045, "The server's certificate was issued by an authority that is not trusted.\r\n"},
        {"good", "/moved", 12040,
         "The server redirected the request from a secure connection to one that is not secure.\r\n"},
    };
    for (const auto& c : cases) {
        TlsServer server(certificates.Folder(), c.certificate);
        ASSERT_TRUE(server.Ready()) << c.certificate << ": openssl s_server did not start";
        std::vector<std::string> lines;
        const std::optional<CInternetFailure> failure = FailureOf(server.Url(c.path), &lines);
        const std::string what = std::string(c.certificate) + " " + c.path;
        if (c.code == 0) {
            EXPECT_FALSE(failure.has_value()) << what << ": failure " << failure->GetErrorCode();
            EXPECT_EQ(lines, (std::vector<std::string>{"", kRecordLine})) << what << ":\n" << Show(lines);
            continue;
        }
        ASSERT_TRUE(failure.has_value()) << what << ": no failure";
        EXPECT_EQ(failure->GetErrorCode(), c.code) << what;
        std::string text;
        EXPECT_TRUE(failure->GetErrorText(text, 512, nullptr)) << what;
        EXPECT_EQ(text, c.text) << what;
    }
}

TEST_F(UrlAccessTest, SchemesThatTheLibraryRefusesAreInternetFailures) {
    // news: and mailto: have no stream kind; the library is still asked, and refuses them. Nor does it carry ftp or gopher.
    for (const std::string url : {"news:comp.protocols.time.ntp", "mailto:time@example.invalid", "telnet://127.0.0.1:13",
                                  "gopher://127.0.0.1:1/_QUIT", "ftp://127.0.0.1:1/time.txt"}) {
        const std::optional<CInternetFailure> failure = FailureOf(url);
        ASSERT_TRUE(failure.has_value()) << url;
        EXPECT_EQ(failure->GetErrorCode(), ERROR_INTERNET_UNRECOGNIZED_SCHEME) << url;
    }
    const std::optional<CInternetFailure> empty = FailureOf("");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->GetErrorCode(), ERROR_INTERNET_INVALID_URL);
}

class LocalFileTest : public UrlAccessTest {
protected:
    void SetUp() override {
        UrlAccessTest::SetUp();
        directory = std::filesystem::temp_directory_path() / ("orvane-url-" + std::to_string(getpid()));
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
};

TEST_F(LocalFileTest, AnExistingFileIsALocalFileStream) {
    const std::filesystem::path file = directory / "day time.txt";
    std::ofstream(file, std::ios::binary) << "\r\n" << kRecord << "\r\nlast";
    for (const std::string& url : {"file://" + file.string(), "file://" + (directory / "day%20time.txt").string(),
                                  "FILE://localhost" + file.string()}) {
        std::unique_ptr<CUrlStream> stream = Open(url);
        ASSERT_NE(stream, nullptr) << url;
        EXPECT_EQ(stream->GetKind(), UrlStreamKind::LocalFile) << url;
        EXPECT_FALSE(stream->IsHttpResponse()) << url;
        const std::vector<std::string> lines = ReadAll(*stream);
        EXPECT_EQ(lines, (std::vector<std::string>{"", kRecord, "last"})) << url << "\n" << Show(lines);
    }
}

TEST_F(LocalFileTest, AMissingFileIsAFileFailureNamingItsPath) {
    const std::string path = (directory / "missing.txt").string();
    try {
        Open("file://" + path);
        FAIL() << "no failure for the missing file";
    } catch (const CFileFailure& failure) {
        EXPECT_EQ(failure.GetCause(), CFileFailure::fileNotFound);
        EXPECT_EQ(failure.GetFileName(), path);
        std::string text;
        EXPECT_TRUE(failure.GetErrorText(text, 512, nullptr));
        EXPECT_EQ(text, path + " was not found.");
    }
}

TEST_F(LocalFileTest, ADirectoryIsRefusedAsWindowsRefusesIt) {
    try {
        Open("file://" + directory.string());
        FAIL() << "a directory was opened as a file";
    } catch (const CFileFailure& failure) {
        EXPECT_EQ(failure.GetCause(), CFileFailure::accessDenied);
    }
}

TEST_F(LocalFileTest, AFifoOrADeviceIsRefusedAtOnceInsteadOfBlocking) {
    // A FIFO without a writer would block the open for ever; /dev/zero would be read for ever.
    const std::string fifo = (directory / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
        const auto start = std::chrono::steady_clock::now();
        try {
            Open("file://" + path);
            ADD_FAILURE() << path << " was opened as a file";
        } catch (const CFileFailure& failure) {
            EXPECT_EQ(failure.GetCause(), CFileFailure::accessDenied) << path;
            std::string text;
            EXPECT_TRUE(failure.GetErrorText(text, 512, nullptr));
            EXPECT_EQ(text, "Access to " + path + " was denied.");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << path;
    }
}

// --- Over a recording double of the Internet library -------------------------------------------

// Opens every URL; splits it as told; counts what is asked of it.
class RecordingInternet : public IInternet {
public:
    HINTERNET InternetOpen(const std::string& agentText, DWORD, const std::string*, const std::string*, DWORD,
                           DWORD* error) override {
        agent = agentText;
        if (refuseSession) {
            *error = ERROR_INTERNET_INTERNAL_ERROR;
            return nullptr;
        }
        return &sessionToken;
    }
    HINTERNET InternetOpenUrl(HINTERNET session, const std::string& url, const std::string*, DWORD flags,
                              DWORD context, DWORD* error) override {
        EXPECT_EQ(session, &sessionToken);
        openedUrls.push_back(url);
        openedFlags = flags;
        openedContext = context;
        if (refuseUrl) {
            *error = ERROR_INTERNET_NAME_NOT_RESOLVED;
            return nullptr;
        }
        return &urlToken;
    }
    std::optional<DWORD> QueryHandleType(HINTERNET) override {
        ++typeQueries;
        return handleType;
    }
    bool InternetReadFile(HINTERNET, void* buffer, DWORD size, DWORD* read, DWORD* error) override {
        ++reads;
        if (failReads) {
            *error = ERROR_INTERNET_CONNECTION_RESET;
            return false;
        }
        // An endless reply: `endless` over and over, or 'x' without a single line feed.
        auto* bytes = static_cast<char*>(buffer);
        for (DWORD i = 0; i < size; ++i, ++bytesRead) {
            bytes[i] = endless.empty() ? 'x' : endless[bytesRead % endless.size()];
        }
        *read = size;
        return true;
    }
    bool InternetCloseHandle(HINTERNET handle) override {
        closed.push_back(handle);
        return true;
    }
    std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD, DWORD*) override { return url; }
    std::optional<CrackedUrl> CrackUrl(const std::string&, DWORD*) override { return cracked; }
    std::optional<std::string> ErrorText(DWORD) override { return std::nullopt; }
    std::string LastResponseInfo() override { return {}; }

    int sessionToken = 0;
    int urlToken = 0;
    bool refuseSession = false;
    bool refuseUrl = false;
    bool failReads = false;
    std::optional<CrackedUrl> cracked;
    std::optional<DWORD> handleType;
    std::string agent;
    std::vector<std::string> openedUrls;
    DWORD openedFlags = 0;
    DWORD openedContext = 0;
    int typeQueries = 0;
    int reads = 0;
    std::string endless;
    std::size_t bytesRead = 0;
    std::vector<HINTERNET> closed;
};

class OpenRulesTest : public ::testing::Test {
protected:
    static CrackedUrl Cracked(UrlScheme scheme) {
        CrackedUrl url;
        url.scheme = scheme;
        url.hostName = "time.example";
        url.urlPath = "/";
        return url;
    }

    RecordingInternet internet;
    ScopedSeam<IInternet> seam{internet};
};

TEST_F(OpenRulesTest, TheSessionIsOpenedWithTheApplicationNameUnlessGivenAnAgent) {
    SetAppNames(DeriveAppNames("/opt/orvane/orvane"));
    { CInternetSession session; }
    EXPECT_EQ(internet.agent, "orvane");
    const std::string agent = "Clock Checker";
    { CInternetSession session(&agent); }
    EXPECT_EQ(internet.agent, agent);
    EXPECT_EQ(internet.closed, (std::vector<HINTERNET>{&internet.sessionToken, &internet.sessionToken}));
}

TEST_F(OpenRulesTest, ARefusedSessionIsAnInternetFailureWithItsContext) {
    internet.refuseSession = true;
    try {
        CInternetSession session(nullptr, 1);
        FAIL() << "the refused session raised nothing";
    } catch (const CInternetFailure& failure) {
        EXPECT_EQ(failure.GetErrorCode(), ERROR_INTERNET_INTERNAL_ERROR);
        EXPECT_EQ(failure.GetContext(), 1u);
    }
    EXPECT_TRUE(internet.closed.empty());
}

TEST_F(OpenRulesTest, TheSchemeOrTheHandleTypeChoosesTheStreamKind) {
    const struct {
        std::optional<UrlScheme> scheme;  // nullopt: the URL cannot be split
        std::optional<DWORD> handleType;
        std::optional<UrlStreamKind> kind;  // nullopt: none is returned
    } cases[] = {
        {UrlScheme::Http, std::nullopt, UrlStreamKind::HttpResponse},
        {UrlScheme::Https, std::nullopt, UrlStreamKind::HttpResponse},
        {UrlScheme::Ftp, INTERNET_HANDLE_TYPE_HTTP_REQUEST, UrlStreamKind::FtpFile},
        {UrlScheme::Gopher, std::nullopt, UrlStreamKind::GopherFile},
        {UrlScheme::News, INTERNET_HANDLE_TYPE_HTTP_REQUEST, std::nullopt},
        {UrlScheme::Mailto, std::nullopt, std::nullopt},
        {UrlScheme::Unknown, INTERNET_HANDLE_TYPE_HTTP_REQUEST, std::nullopt},
        {std::nullopt, INTERNET_HANDLE_TYPE_HTTP_REQUEST, UrlStreamKind::HttpResponse},
        {std::nullopt, INTERNET_HANDLE_TYPE_FTP_FILE, UrlStreamKind::FtpFile},
        {std::nullopt, INTERNET_HANDLE_TYPE_GOPHER_FILE, UrlStreamKind::GopherFile},
        {std::nullopt, 1u, std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    CInternetSession session;
    for (const auto& c : cases) {
        const std::string label = "scheme " + (c.scheme ? std::to_string(static_cast<int>(*c.scheme)) : "unsplit") +
                                  ", handle type " + (c.handleType ? std::to_string(*c.handleType) : "none");
        internet.cracked = c.scheme ? std::optional<CrackedUrl>(Cracked(*c.scheme)) : std::nullopt;
        internet.handleType = c.handleType;
        internet.closed.clear();
        internet.typeQueries = 0;
        std::unique_ptr<CUrlStream> stream = session.OpenUrl("whatever://time.example", 1, kSetClockFlags);
        if (c.kind) {
            ASSERT_NE(stream, nullptr) << label;
            EXPECT_EQ(stream->GetKind(), *c.kind) << label;
            EXPECT_EQ(stream->IsHttpResponse(), *c.kind == UrlStreamKind::HttpResponse) << label;
            EXPECT_TRUE(internet.closed.empty()) << label;
        } else {
            EXPECT_EQ(stream, nullptr) << label;
            EXPECT_EQ(internet.closed, std::vector<HINTERNET>{&internet.urlToken}) << label;
        }
        // Only an unsplit URL's kind is asked of the handle.
        EXPECT_EQ(internet.typeQueries, c.scheme ? 0 : 1) << label;
    }
}

TEST_F(OpenRulesTest, APartTooLongForTheLibrarysBuffersLeavesTheURLUnsplit) {
    // The Windows library splits into buffers of 2058 characters; a longer part cannot be split, and
    // the opened handle's type decides instead of the scheme.
    CInternetSession session;
    internet.handleType = INTERNET_HANDLE_TYPE_GOPHER_FILE;
    const struct {
        std::size_t hostLength;
        std::size_t pathLength;
        UrlStreamKind kind;
    } cases[] = {
        {2057, 1, UrlStreamKind::HttpResponse},
        {1, 2057, UrlStreamKind::HttpResponse},
        {2058, 1, UrlStreamKind::GopherFile},
        {1, 2058, UrlStreamKind::GopherFile},
    };
    for (const auto& c : cases) {
        CrackedUrl cracked = Cracked(UrlScheme::Http);
        cracked.hostName.assign(c.hostLength, 'h');
        cracked.urlPath.assign(c.pathLength, '/');
        internet.cracked = cracked;
        std::unique_ptr<CUrlStream> stream = session.OpenUrl("http://time.example:13", 1, kSetClockFlags);
        ASSERT_NE(stream, nullptr) << "host " << c.hostLength << ", path " << c.pathLength;
        EXPECT_EQ(stream->GetKind(), c.kind) << "host " << c.hostLength << ", path " << c.pathLength;
    }
}

TEST_F(OpenRulesTest, TheURLGoesToTheLibraryAsGivenWithTheCallersFlags) {
    internet.cracked = Cracked(UrlScheme::Http);
    CInternetSession session;
    session.OpenUrl(" HTTP://Time.Example:13 ", 1, kSetClockFlags);
    EXPECT_EQ(internet.openedUrls, std::vector<std::string>{" HTTP://Time.Example:13 "});
    EXPECT_EQ(internet.openedFlags, kSetClockFlags);
}

TEST_F(OpenRulesTest, ContextOneStandsForTheSessionsContext) {
    internet.cracked = Cracked(UrlScheme::Http);
    internet.failReads = true;
    CInternetSession session(nullptr, 7);
    const struct {
        DWORD given;
        DWORD used;
    } cases[] = {{1, 7}, {5, 5}, {0, 0}};
    for (const auto& c : cases) {
        std::unique_ptr<CUrlStream> stream = session.OpenUrl("http://time.example:13", c.given, kSetClockFlags);
        EXPECT_EQ(internet.openedContext, c.used) << "context " << c.given;
        std::string line;
        try {
            stream->ReadLine(line);
            ADD_FAILURE() << "the failed read raised nothing";
        } catch (const CInternetFailure& failure) {
            EXPECT_EQ(failure.GetErrorCode(), ERROR_INTERNET_CONNECTION_RESET);
            EXPECT_EQ(failure.GetContext(), c.used) << "context " << c.given;
        }
    }
}

TEST_F(OpenRulesTest, AFailedOpenCarriesTheSessionsContext) {
    internet.cracked = Cracked(UrlScheme::Http);
    internet.refuseUrl = true;
    CInternetSession session(nullptr, 7);
    try {
        session.OpenUrl("http://time.example:13", 5, kSetClockFlags);
        FAIL() << "the refused URL raised nothing";
    } catch (const CInternetFailure& failure) {
        EXPECT_EQ(failure.GetErrorCode(), ERROR_INTERNET_NAME_NOT_RESOLVED);
        EXPECT_EQ(failure.GetContext(), 7u);
    }
}

TEST_F(OpenRulesTest, ClosingTwiceClosesOnceAndDeletingClosesAnOpenStream) {
    internet.cracked = Cracked(UrlScheme::Http);
    CInternetSession session;
    std::unique_ptr<CUrlStream> stream = session.OpenUrl("http://time.example:13", 1, kSetClockFlags);
    stream->CloseStream();
    stream->CloseStream();
    EXPECT_EQ(internet.closed.size(), 1u);
    std::string line = "stale";
    EXPECT_FALSE(stream->ReadLine(line)) << "a closed stream read [" << line << "]";
    EXPECT_EQ(line, "");
    stream = session.OpenUrl("http://time.example:13", 1, kSetClockFlags);
    stream.reset();
    EXPECT_EQ(internet.closed.size(), 2u);
}

TEST_F(OpenRulesTest, AnEndlessLineStopsAtTheBoundWithoutReadingFurther) {
    internet.cracked = Cracked(UrlScheme::Http);
    CInternetSession session;
    std::unique_ptr<CUrlStream> stream = session.OpenUrl("http://time.example:13", 1, kSetClockFlags);
    std::string line = "stale";
    // A line cut by the bound is not a line the server sent: nothing is handed out.
    EXPECT_FALSE(stream->ReadLine(line));
    EXPECT_EQ(line, "");
    const int readsAtTheBound = internet.reads;
    EXPECT_EQ(readsAtTheBound, static_cast<int>(CLineReader::kMaxReplyBytes / CLineReader::kBufferSize));
    EXPECT_FALSE(stream->ReadLine(line));
    EXPECT_EQ(internet.reads, readsAtTheBound) << "the library was asked again past the bound";
}

TEST_F(OpenRulesTest, TheReplyIsBoundAtOneMebibyteAndTheRecordThatItCutsIsDropped) {
    // Records without end: exactly 1,048,576 bytes are taken, every line handed out is a whole
    // record, and the record cut at the bound is never handed out.
    const std::string record = "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *";
    internet.cracked = Cracked(UrlScheme::Http);
    internet.endless = record + "\n";
    ASSERT_NE(1048576 % internet.endless.size(), 0u) << "the bound must fall inside a record";
    CInternetSession session;
    std::unique_ptr<CUrlStream> stream = session.OpenUrl("http://time.example:13", 1, kSetClockFlags);
    std::string line;
    std::size_t lines = 0;
    while (stream->ReadLine(line)) {
        ASSERT_EQ(line, record) << "line " << lines;
        ++lines;
    }
    EXPECT_EQ(internet.bytesRead, 1048576u);
    EXPECT_EQ(lines, 1048576u / internet.endless.size());
}

}  // namespace
}  // namespace orvane
