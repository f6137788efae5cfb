// The daytime server's scenarios and its accept loop.
#include "tools/daytimed/DaytimeServer.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace orvane::daytimed {

namespace {

constexpr int kSlowPauseMs = 20;
constexpr int kTricklePauseMs = 250;
constexpr int kTrickleMs = 10000;
// How long a finished connection waits for the client to close before the server closes it.
constexpr int kDrainMs = 2000;
// The round trip to a near time server. Its reset leaves when the client's request arrives and
// reaches the client about one round trip after the request left; over the loopback it would come
// at once, before a busy client has even asked for the reply, and Windows drops unread bytes on a reset.
constexpr int kRoundTripMs = 20;

const char kHttpHeaders[] = "Content-Type: text/plain\r\nServer: orvane-daytimed\r\nConnection: close\r\n\r\n";

struct Named {
    Scenario scenario;
    std::string_view name;
};

constexpr Named kNames[] = {
    {Scenario::Nist, "nist"},
    {Scenario::CrLfLines, "crlf"},
    {Scenario::SeveralLines, "several-lines"},
    {Scenario::Empty, "empty"},
    {Scenario::CarriageReturnsOnly, "cr-only"},
    {Scenario::LongLine, "long-line"},
    {Scenario::FramedLongLine, "framed-long-line"},
    {Scenario::Slow, "slow"},
    {Scenario::Stall, "stall"},
    {Scenario::ResetMidLine, "reset"},
    {Scenario::CloseUnread, "close-unread"},
    {Scenario::Http10, "http10"},
    {Scenario::HttpError, "http-error"},
    {Scenario::Endless, "endless"},
    {Scenario::RedirectLoop, "redirect-loop"},
    {Scenario::RedirectToFile, "redirect-file"},
    {Scenario::NistReadFirst, "nist-read-first"},
    {Scenario::CutRecord, "cut-record"},
    {Scenario::EndlessLongLines, "endless-long-lines"},
    {Scenario::LongLineCut, "long-line-cut"},
    {Scenario::StatusLineReset, "status-line-reset"},
    {Scenario::TrickleHeaders, "trickle-headers"},
    {Scenario::MultipleChoices, "multiple-choices"},
    {Scenario::RedirectNowhere, "redirect-nowhere"},
    {Scenario::RedirectToDaytime, "redirect-daytime"},
    {Scenario::HugeHeaderLine, "huge-header-line"},
    {Scenario::HugeHeaderBlock, "huge-header-block"},
};

// The header field that TrickleHeaders sends a byte at a time, over and over.
const char kTrickledField[] = "X-Trickle: 1\r\n";

std::string NistReply(const std::string& record) { return "\n" + record + " \n"; }

// LongLineCut's reply: the part sent before its pause, which fills the first 16 KiB with a line feed
// (as NIST frames its lines), the long line's head and the record cut in its seconds, and the part after it.
std::string LongLineCutHead(const std::string& record) {
    std::string head = "\n" + std::string(16361, 'x');
    head.append(record, 0, 22);
    return head + std::string(32 * 1024, 'x');
}
constexpr std::size_t kLongLineCutTail = 1024;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

// What is left of the time until `deadline`, at least 0.
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

const std::vector<Scenario>& AllScenarios() {
    static const std::vector<Scenario> all = [] {
        std::vector<Scenario> list;
        for (const Named& entry : kNames) list.push_back(entry.scenario);
        return list;
    }();
    return all;
}

std::string_view ScenarioName(Scenario scenario) {
    for (const Named& entry : kNames) {
        if (entry.scenario == scenario) return entry.name;
    }
    return "unknown";
}

std::optional<Scenario> ScenarioFromName(std::string_view name) {
    for (const Named& entry : kNames) {
        if (entry.name == name) return entry.scenario;
    }
    return std::nullopt;
}

std::string NistRecord(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    // The Modified Julian Day of 1970-01-01 is 40587.
    const long mjd = static_cast<long>(time / 86400) + 40587 - (time % 86400 < 0 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%05ld %02d-%02d-%02d %02d:%02d:%02d 00 0 0 100.0 UTC(NIST) *", mjd,
                  utc.tm_year % 100, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::chrono::milliseconds TrickleTime() { return std::chrono::milliseconds(kTrickleMs); }

std::string LongLineText() {
    std::string line;
    while (line.size() < 10000) line += "0123456789";
    return line;
}

std::string ScenarioReply(Scenario scenario, const std::string& record) {
    const std::string nist = NistReply(record);
    switch (scenario) {
        case Scenario::Nist:
        case Scenario::Slow:
        case Scenario::CloseUnread:
        case Scenario::NistReadFirst:
        case Scenario::RedirectToDaytime: return nist;
        // "JJJJJ YY-MM-DD HH:MM:S": the record up to the first digit of its seconds.
        case Scenario::CutRecord: {
            std::string reply(1, '\n');
            reply.append(record, 0, 22);
            return reply;
        }
        case Scenario::CrLfLines: return "\r\n" + record + " \r\n12\r34\r\n";
        case Scenario::SeveralLines: return "first line\n" + nist + nist + "last line";
        case Scenario::Empty: return {};
        case Scenario::CarriageReturnsOnly: return "\r\r\r\r";
        case Scenario::LongLine: return LongLineText() + "\n" + nist;
        case Scenario::FramedLongLine: {
            std::string reply(1, '\n');
            reply += LongLineText();
            reply += '\n';
            return reply + nist;
        }
        case Scenario::ResetMidLine: return nist + "partial";
        case Scenario::LongLineCut: return LongLineCutHead(record) + std::string(kLongLineCutTail, 'x');
        case Scenario::StatusLineReset: return "HTTP/1.0 200 OK\r\n\r\n" + nist + "partial";
        case Scenario::TrickleHeaders: return "\r\n" + nist;  // after the status line and the trickled fields
        case Scenario::Http10: return "HTTP/1.0 200 OK\r\n" + std::string(kHttpHeaders) + nist;
        case Scenario::HttpError: return "HTTP/1.0 404 Not Found\r\n" + std::string(kHttpHeaders) + nist;
        case Scenario::RedirectLoop:
            return "HTTP/1.0 302 Found\r\nLocation: /again\r\n" + std::string(kHttpHeaders) + "moved\n";
        case Scenario::RedirectToFile:
            return "HTTP/1.0 302 Found\r\nLocation: file:///etc/hostname\r\n" + std::string(kHttpHeaders) + "moved\n";
        case Scenario::MultipleChoices:
            return "HTTP/1.0 300 Multiple Choices\r\nLocation: /again\r\n" + std::string(kHttpHeaders) + nist;
        case Scenario::RedirectNowhere: return "HTTP/1.0 302 Found\r\nLocation: \r\n" + std::string(kHttpHeaders) + nist;
        case Scenario::HugeHeaderLine:
        case Scenario::HugeHeaderBlock: {
            std::string fields;
            const int count = scenario == Scenario::HugeHeaderLine ? 1 : 5;
            for (int i = 0; i < count; ++i) fields += "X-Padding: " + std::string(scenario == Scenario::HugeHeaderLine ? 200 * 1024 : 80 * 1024, 'x') + "\r\n";
            return "HTTP/1.0 200 OK\r\n" + fields + std::string(kHttpHeaders) + nist;
        }
        case Scenario::Stall:
        case Scenario::Endless:
        case Scenario::EndlessLongLines: return {};
    }
    return {};
}

DaytimeServer::DaytimeServer(Scenario scenario, std::uint16_t port, std::string record)
    : scenario_(scenario), record_(std::move(record)) {
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) ThrowErrno("pipe2");
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        const int error = errno;
        close(stopPipe_[0]);
        close(stopPipe_[1]);
        throw std::system_error(error, std::generic_category(), "socket");
    }
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        close(listener_);
        close(stopPipe_[0]);
        close(stopPipe_[1]);
        throw std::system_error(error, std::generic_category(), "bind 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

DaytimeServer::~DaytimeServer() {
    const char stop = 's';
    while (write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    close(listener_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::string DaytimeServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

short DaytimeServer::WaitReady(int fd, short events, int milliseconds) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {stopPipe_[0], POLLIN, 0}};
        const int ready = poll(fds, 2, milliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || fds[1].revents) return 0;
        return fds[0].revents;
    }
}

void DaytimeServer::Serve() {
    for (;;) {
        if (!WaitReady(listener_, POLLIN, -1)) return;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        ++connections_;
        Answer(client);
    }
}

void DaytimeServer::Answer(int client) {
    const std::string record = record_.empty() ? NistRecord(std::time(nullptr)) : record_;
    const std::string reply = ScenarioReply(scenario_, record);
    switch (scenario_) {
        case Scenario::Stall:
            Hold(client);
            close(client);
            return;
        case Scenario::Nist:
        case Scenario::CrLfLines:
        case Scenario::CarriageReturnsOnly:
        case Scenario::LongLine:
        case Scenario::FramedLongLine:
        case Scenario::CloseUnread:
        case Scenario::CutRecord:
            // What a real daytime server does: it sends at once and never reads the request.
            SendAll(client, reply);
            CloseUnread(client);
            return;
        case Scenario::Slow:
            for (const char byte : reply) {
                if (!Pause(kSlowPauseMs) || !SendAll(client, std::string_view(&byte, 1))) break;
            }
            CloseUnread(client);
            return;
        case Scenario::TrickleHeaders: {
            AwaitRequest(client);
            bool sending = SendAll(client, "HTTP/1.0 200 OK\r\n");
            // Whole fields only: the last one ends before the blank line.
            const std::size_t fieldLength = sizeof kTrickledField - 1;
            const auto end = std::chrono::steady_clock::now() + TrickleTime();
            for (std::size_t i = 0; sending && (MillisecondsUntil(end) > 0 || i % fieldLength != 0); ++i) {
                const char byte = kTrickledField[i % fieldLength];
                sending = Pause(kTricklePauseMs) && SendAll(client, std::string_view(&byte, 1));
            }
            if (sending) SendAll(client, reply);
            break;
        }
        case Scenario::StatusLineReset:
        case Scenario::ResetMidLine: {
            // The break comes in the middle of the reply, so the request has been taken: a reset
            // that overtook the client's own connection set-up would be a refused connection.
            AwaitRequest(client);
            SendAll(client, reply);
            // A reset that came with the bytes would overtake them (see kRoundTripMs); one that
            // comes behind them breaks off a reply that the client is reading.
            if (scenario_ == Scenario::StatusLineReset) Pause(kRoundTripMs);
            // A zero linger time makes close() abort the connection with RST instead of FIN.
            const linger abort{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            close(client);
            return;
        }
        case Scenario::LongLineCut: {
            // The first pause lets the client take part of the line before the rest comes; the
            // second has it waiting for more when the reset comes (Wine's WinINet in its
            // asynchronous mode takes a reset that it finds without waiting for the reply's end).
            AwaitRequest(client);
            if (SendAll(client, LongLineCutHead(record)) && Pause(200) &&
                SendAll(client, std::string(kLongLineCutTail, 'x')))
                Pause(200);
            const linger abort{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            close(client);
            return;
        }
        case Scenario::Endless:
        case Scenario::EndlessLongLines: {
            const std::string chunk =
                scenario_ == Scenario::Endless ? NistReply(record) : std::string(30000, 'x') + "\n";
            while (SendAll(client, chunk)) {
            }
            close(client);
            return;
        }
        case Scenario::NistReadFirst:
            AwaitRequest(client);
            SendAll(client, reply);
            break;
        case Scenario::RedirectToDaytime:
            if (connections_ % 2 == 0) {
                SendAll(client, reply);
                CloseUnread(client);
                return;
            }
            AwaitRequest(client);
            SendAll(client, "HTTP/1.0 302 Found\r\nLocation: /daytime\r\n" + std::string(kHttpHeaders) + "moved\n");
            break;
        default: SendAll(client, reply); break;
    }
    // Ending with FIN and reading what the client sent keeps the close clean: a socket closed with
    // unread bytes resets the connection.
    shutdown(client, SHUT_WR);
    Drain(client);
    close(client);
}

void DaytimeServer::CloseUnread(int client) {
    // Closing a socket with unread bytes makes the system answer with RST instead of FIN. The
    // request may still be on its way; waiting for it (without taking it) makes the reset certain.
    WaitReady(client, POLLIN, kDrainMs);
    Pause(kRoundTripMs);
    // The reset also throws away whatever the system has not yet sent. A real server's record leaves
    // in one segment at once; a reply written a byte at a time may still be held back (Nagle), so it
    // is pushed out and awaited until the client has taken it all.
    const int noDelay = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    int unacknowledged = 0;
    while (ioctl(client, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged > 0 && MillisecondsUntil(deadline) > 0) {
        if (!Pause(1)) break;
    }
    close(client);
}

bool DaytimeServer::SendAll(int client, std::string_view bytes) {
    while (!bytes.empty()) {
        const short ready = WaitReady(client, POLLOUT, -1);
        if (!ready || (ready & (POLLERR | POLLHUP))) return false;
        const ssize_t sent = send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool DaytimeServer::Pause(int milliseconds) {
    pollfd fd{stopPipe_[0], POLLIN, 0};
    return poll(&fd, 1, milliseconds) == 0;
}

void DaytimeServer::Drain(int client) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    char sink[4096];
    for (;;) {
        const int left = MillisecondsUntil(deadline);
        if (left == 0 || !WaitReady(client, POLLIN, left)) return;
        const ssize_t got = recv(client, sink, sizeof sink, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return;
    }
}

void DaytimeServer::AwaitRequest(int client) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    std::string request;
    char chunk[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const int left = MillisecondsUntil(deadline);
        if (left == 0 || !WaitReady(client, POLLIN, left)) return;
        const ssize_t got = recv(client, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return;
        if (got > 0) request.append(chunk, static_cast<std::size_t>(got));
    }
}

void DaytimeServer::Hold(int client) {
    char sink[4096];
    for (;;) {
        if (!WaitReady(client, POLLIN, -1)) return;
        const ssize_t got = recv(client, sink, sizeof sink, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return;  // the client went away
    }
}

}  // namespace orvane::daytimed
