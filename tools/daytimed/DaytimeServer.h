// A daytime server on 127.0.0.1 for tests and for people: it answers every connection with one of
// the replies that time servers (and broken networks) give.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace orvane::daytimed {

// What the server does with each connection. "the record" below is a NIST daytime record (see
// NistRecord), either fixed when the server was made or built from the current UTC time.
//
// The daytime scenarios (Nist, CrLfLines, CarriageReturnsOnly, LongLine, FramedLongLine, Slow,
// CloseUnread, CutRecord) behave as real daytime servers do: they send on accept and close without
// reading the request, so the client's system answers the unread request with a reset (RST) once
// the reply is out. NistReadFirst, SeveralLines (whose last line has no LF: only a clean close
// delivers it), Empty and the HTTP scenarios read the request first and end with a clean close.
enum class Scenario {
    Nist,                // LF, the record, a blank, LF: what a NIST server sends
    CrLfLines,           // CR LF, the record, a blank, CR LF, then "12" CR "34" CR LF
    SeveralLines,        // "first line" LF, the record twice (each with the NIST framing), "last line" without LF
    Empty,               // nothing: the connection is closed at once
    CarriageReturnsOnly, // four CR bytes
    LongLine,            // LongLineText() LF, then the NIST reply
    FramedLongLine,      // LF, LongLineText() LF, then the NIST reply: the long line framed as NIST frames its lines
    Slow,                // the NIST reply one byte at a time, with a pause before each byte
    Stall,               // nothing; the connection is held open until the client or the server ends it
    ResetMidLine,        // after the request: the NIST reply and "partial", then a connection reset (RST)
    CloseUnread,         // the NIST reply at once, then close without reading the request (as Nist)
    Http10,              // an HTTP/1.0 200 reply with headers whose body is the NIST reply
    HttpError,           // an HTTP/1.0 404 reply with headers whose body is the NIST reply
    Endless,             // the NIST reply over and over until the client goes away
    RedirectLoop,        // an HTTP/1.0 302 reply that sends the client back to this server
    RedirectToFile,      // an HTTP/1.0 302 reply that sends the client to a file of its own machine
    NistReadFirst,       // the NIST reply after the request has been read, then a clean close
    CutRecord,           // LF and the record cut after the first digit of its seconds, then the reset
    EndlessLongLines,    // lines of 30000 "x" over and over until the client goes away
    LongLineCut,         // after the request: LF, one line of 16361 "x", the record cut as in CutRecord and
                         // 32 KiB more "x"; a pause; 1 KiB more "x"; a pause; then a connection reset (RST)
    StatusLineReset,     // after the request: "HTTP/1.0 200 OK", no header field, the NIST reply and "partial", then a reset
    TrickleHeaders,      // after the request: a status line, then header bytes one at a time with a pause
                         // before each, for TrickleTime(); then the NIST reply
    MultipleChoices,     // an HTTP/1.0 300 reply with a Location, whose body is the NIST reply
    RedirectNowhere,     // an HTTP/1.0 302 reply with an empty Location, whose body is the NIST reply
    RedirectToDaytime,   // every other connection: an HTTP/1.0 302 reply that sends the client back to
                         // this server, which then answers as Nist does
    HugeHeaderLine,      // an HTTP/1.0 200 reply with one header field of 200 KiB, then the NIST reply
    HugeHeaderBlock,     // an HTTP/1.0 200 reply with 400 KiB of header fields, then the NIST reply
};

// How long TrickleHeaders sends its header bytes; their pauses are far shorter than any time-out
// for a wait without a byte.
std::chrono::milliseconds TrickleTime();

// Every scenario, in declaration order, and the short names used on the command line and in the
// ports file ("nist", "crlf", ...).
const std::vector<Scenario>& AllScenarios();
std::string_view ScenarioName(Scenario scenario);
std::optional<Scenario> ScenarioFromName(std::string_view name);

// "JJJJJ YY-MM-DD HH:MM:SS TT L H msADV UTC(NIST) *" for the UTC instant `time`: the Modified Julian
// Day, the date and time, 00 (no daylight-saving change is announced), no leap second, healthy,
// and an advance of 100.0 ms.
std::string NistRecord(std::time_t time);

// The line of the LongLine scenario: 10000 bytes of "0123456789" repeated, longer than two
// 4096-byte buffers.
std::string LongLineText();

// The bytes that a finite scenario sends for `record` (what a client reads as the body). Empty for
// Stall, Endless and EndlessLongLines, whose replies have no fixed end.
std::string ScenarioReply(Scenario scenario, const std::string& record);

class DaytimeServer {
public:
    // Listens on 127.0.0.1:`port` (0: any free port) and serves `scenario` from a background
    // thread until destroyed. `record` fixes the record; empty means the current UTC time at each
    // connection. Throws std::system_error when the port cannot be bound.
    explicit DaytimeServer(Scenario scenario, std::uint16_t port = 0, std::string record = {});
    ~DaytimeServer();
    DaytimeServer(const DaytimeServer&) = delete;
    DaytimeServer& operator=(const DaytimeServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>", the form the program opens.
    std::string Url() const;
    Scenario GetScenario() const { return scenario_; }
    // Connections accepted so far.
    int Connections() const { return connections_.load(); }

private:
    // Waits until `fd` has one of `events` (or an error), for at most `milliseconds` (-1: no limit).
    // Answers its revents, or 0 when the time ran out or the server is stopping.
    short WaitReady(int fd, short events, int milliseconds);
    void Serve();
    void Answer(int client);
    bool SendAll(int client, std::string_view bytes);
    bool Pause(int milliseconds);  // false when the server is stopping
    void Drain(int client);
    void AwaitRequest(int client);  // until the end of an HTTP request's headers, bounded in time
    void CloseUnread(int client);   // close once the request has come, without reading it: a reset
    void Hold(int client);

    Scenario scenario_;
    std::string record_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::thread thread_;
};

}  // namespace orvane::daytimed
