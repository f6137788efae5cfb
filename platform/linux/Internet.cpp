// The Internet library on Linux: WinINet's sessions, URL handles and reads on libcurl's multi interface.
//
// Each opened URL is one libcurl transfer driven by a multi handle of its own. Nothing runs in the
// background: every call pumps the transfer on the calling thread until what it promises is there.
// InternetOpenUrl returns once the server has answered (the first bytes of the body, the end of the
// final header block, or the end of the transfer); InternetReadFile hands out bytes as they arrive.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "platform/linux/PlatformServices.h"
#include "platform/linux/InternetLinux.h"

namespace orvane {

namespace {

using namespace inet;

// Bytes kept for the reader before the transfer is paused: a server that sends faster than the
// program reads (or without end) must not fill memory.
constexpr std::size_t kMaxBuffered = 64 * 1024;
// The response text kept for LastResponseInfo.
constexpr std::size_t kMaxResponseText = 4096;
// Redirects followed before the transfer fails. libcurl's own limit plays no part: FollowRedirect
// follows each redirect itself (libcurl 7.88 would follow any number).
constexpr int kMaxRedirects = 10;
// The longest the pump sleeps before looking at libcurl's timers and its own stall clock again.
constexpr std::chrono::milliseconds kMaxPollWait{250};

using SteadyClock = std::chrono::steady_clock;

// The response text of the last transfer that this thread drove.
thread_local std::string t_lastResponse;

struct Handle {
    enum class Type { Session, Request };
    explicit Handle(Type t) : type(t) {}
    virtual ~Handle() = default;
    Type type;
};

struct Session : Handle {
    Session() : Handle(Type::Session) {}
    std::string agent;
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string proxy;
    std::string proxyBypass;
};

struct Request : Handle {
    Request() : Handle(Type::Request) {}
    ~Request() override {
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
    }

    std::size_t Available() const { return body.size() - readPos; }

    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    DWORD handleType = 0;

    // Received bytes from readPos on are unread; the read part before it is dropped once it is
    // the larger half, so the buffer holds little more than what is unread.
    std::string body;
    std::size_t readPos = 0;
    std::size_t linesEnd = 0;  // just past the last line feed in body; 0 when none
    bool lineHandedOut = false;  // part of the current line (not yet ended) has been read
    bool paused = false;

    // What one server's reply has shown so far. A redirect's reply is not the answer: the next
    // server's starts afresh.
    struct Reply {
        bool statusLine = false;   // the reply began with a status line (and headers)
        bool bodyStarted = false;  // at least one byte of the body has come
        bool answered = false;     // the final header block has ended
        std::string location;      // the header block's first Location that names a target
        bool blockEnded = true;
        std::string response;
        // When the last byte came: the epoch until the connection stands (connecting has a
        // time-out of its own).
        SteadyClock::time_point lastByte{};
    } reply;
    std::string redirectTo;  // the target of the redirect that ended this server's reply

    std::chrono::milliseconds stall{0};  // the stall time-out of this transfer
    SteadyClock::time_point deadline{};  // of the whole transfer, redirects included

    bool done = false;
    CURLcode result = CURLE_OK;
    long osErrno = 0;
    long verifyResult = kNoVerifyResult;
    DWORD refusal = 0;  // this layer's own reason for ending the transfer, before libcurl's result
    int redirects = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

std::mutex g_authoritiesMutex;
std::string g_authorities;

std::string TrustedCertificates() {
    std::lock_guard<std::mutex> lock(g_authoritiesMutex);
    return g_authorities;
}

// Every handle given out and not yet closed, so that a stale or foreign handle is refused rather
// than followed.
std::mutex g_handlesMutex;
std::unordered_set<const Handle*> g_handles;

void Register(const Handle* handle) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_handles.insert(handle);
}

template <class T>
T* Lookup(HINTERNET handle, Handle::Type type) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto* key = static_cast<const Handle*>(handle);
    if (!handle || !g_handles.count(key) || key->type != type) return nullptr;
    return static_cast<T*>(static_cast<Handle*>(handle));
}

bool Unregister(HINTERNET handle) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    return g_handles.erase(static_cast<const Handle*>(handle)) != 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* request = static_cast<Request*>(user);
    const std::size_t bytes = size * count;
    if (request->Available() > 0 && request->Available() + bytes > kMaxBuffered) {
        request->paused = true;
        return CURL_WRITEFUNC_PAUSE;  // libcurl keeps these bytes and offers them again on resume
    }
    request->reply.lastByte = SteadyClock::now();
    if (bytes > 0) request->reply.bodyStarted = true;
    // Only the new bytes are searched: a long unfinished line is never scanned twice.
    const std::size_t lastFeed = std::string_view(data, bytes).rfind('\n');
    if (lastFeed != std::string_view::npos) request->linesEnd = request->body.size() + lastFeed + 1;
    request->body.append(data, bytes);
    return bytes;
}

// The redirects that WinINet follows; any other reply, a 300 or a 304 among them, is the answer.
bool IsFollowedRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The target that a Location header line names, without the white space around it; empty for any
// other line, and for a Location that names none.
std::string LocationIn(std::string_view line) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    if (!StartsWithNoCase(line, "location:")) return {};
    line.remove_prefix(9);
    const std::size_t start = line.find_first_not_of(kSpace);
    if (start == std::string_view::npos) return {};
    return std::string(line.substr(start, line.find_last_not_of(kSpace) + 1 - start));
}

// `location` resolved against the URL whose reply named it, as libcurl resolves a redirect that it
// follows; as it stands when it cannot be (libcurl then refuses it).
std::string ResolveTarget(const char* from, const std::string& location) {
    std::string target = location;
    CURLU* url = curl_url();
    char* resolved = nullptr;
    if (url && from && curl_url_set(url, CURLUPART_URL, from, 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_URL, location.c_str(), CURLU_URLENCODE | CURLU_ALLOW_SPACE) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_URL, &resolved, 0) == CURLUE_OK) {
        target = resolved;
    }
    curl_free(resolved);
    curl_url_cleanup(url);
    return target;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* request = static_cast<Request*>(user);
    Request::Reply& reply = request->reply;
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    reply.lastByte = SteadyClock::now();
    reply.statusLine = true;
    if (reply.blockEnded) {
        reply.response.clear();
        reply.blockEnded = false;
    }
    if (reply.response.size() + bytes <= kMaxResponseText) reply.response.append(line);
    t_lastResponse = reply.response;
    if (reply.location.empty()) reply.location = LocationIn(line);
    if (line != "\r\n" && line != "\n") return bytes;

    // The end of a block. Interim (1xx) answers and redirects that will be followed are not the
    // server's answer yet.
    long status = 0;
    curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &status);
    if (IsFollowedRedirect(status) && !reply.location.empty()) {
        // The redirect's body is never read: the transfer ends here, and FollowRedirect goes on (or
        // refuses) at once, however long that body would take.
        char* current = nullptr;
        curl_easy_getinfo(request->easy, CURLINFO_EFFECTIVE_URL, &current);
        request->redirectTo = ResolveTarget(current, reply.location);
        return 0;
    }
    if (status >= 200) reply.answered = true;
    reply.location.clear();
    reply.blockEnded = true;
    return bytes;
}

// Starts the transfer again at the target of the redirect that has just ended it. The target is
// resolved as libcurl would follow it, so the scheme checked here is the one it would use, however
// the server wrote its Location header.
void FollowRedirect(Request& request) {
    const std::string next = std::exchange(request.redirectTo, std::string());
    char* current = nullptr;
    curl_easy_getinfo(request.easy, CURLINFO_EFFECTIVE_URL, &current);
    if (current && RedirectLeavesTls(current, next)) {
        // WinINet refuses to follow a redirect from https to http unless asked to allow it.
        request.refusal = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
        return;
    }
    if (request.redirects == kMaxRedirects) {
        request.result = CURLE_TOO_MANY_REDIRECTS;
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(request.deadline - SteadyClock::now());
    if (left.count() <= 0) {
        request.result = CURLE_OPERATION_TIMEDOUT;
        return;
    }
    ++request.redirects;
    curl_multi_remove_handle(request.multi, request.easy);
    // A redirect may lead only to the web: a server must not make the program read a local file.
    const bool ok = curl_easy_setopt(request.easy, CURLOPT_URL, next.c_str()) == CURLE_OK &&
                    curl_easy_setopt(request.easy, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count())) == CURLE_OK &&
                    curl_multi_add_handle(request.multi, request.easy) == CURLM_OK;
    if (!ok) {
        request.refusal = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    request.reply = Request::Reply{};
    request.result = CURLE_OK;
    request.done = false;
}

// libcurl refuses a header line longer than CURL_MAX_HTTP_HEADER as if memory had run out, and a
// header of more than three times that as a receive error that no socket saw. Both can only come
// before the answer's header has ended.
bool HeaderTooLarge(const Request& request) {
    if (request.reply.answered || request.reply.bodyStarted) return false;
    curl_off_t headerSize = 0;
    if (request.result == CURLE_OUT_OF_MEMORY) return true;
    return request.result == CURLE_RECV_ERROR && request.osErrno == 0 &&
           curl_easy_getinfo(request.easy, CURLINFO_HEADER_SIZE, &headerSize) == CURLE_OK && headerSize > CURL_MAX_HTTP_HEADER;
}

void CollectDone(Request& request) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(request.multi, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        request.done = true;
        request.result = message->data.result;
        curl_easy_getinfo(request.easy, CURLINFO_OS_ERRNO, &request.osErrno);
        curl_easy_getinfo(request.easy, CURLINFO_SSL_VERIFYRESULT, &request.verifyResult);
        if (!request.redirectTo.empty()) {
            FollowRedirect(request);
        } else if (HeaderTooLarge(request)) {
            request.refusal = ERROR_HTTP_HEADER_SIZE_OVERFLOW;
        }
    }
}

// Ends the transfer as timed out and lets go of its connection at once. Bytes already received
// stay readable.
void GiveUpStalled(Request& request) {
    request.done = true;
    request.result = CURLE_OPERATION_TIMEDOUT;
    std::snprintf(request.errorBuffer, sizeof request.errorBuffer, "No byte received for %lld ms",
                  static_cast<long long>(request.stall.count()));
    curl_multi_remove_handle(request.multi, request.easy);
}

// How long the pump may sleep before the stall clock runs out; zero when it has. libcurl's own
// low-speed limit cannot serve here: it averages the speed over its last five seconds, so bytes
// that came just before a silence hide the silence for up to five seconds past the time-out.
std::chrono::milliseconds StallTimeLeft(Request& request, SteadyClock::time_point waitStart) {
    const SteadyClock::time_point now = SteadyClock::now();
    if (request.reply.lastByte == SteadyClock::time_point{}) {
        curl_off_t connected = 0;
        if (curl_easy_getinfo(request.easy, CURLINFO_CONNECT_TIME_T, &connected) != CURLE_OK || connected == 0) {
            return kMaxPollWait;
        }
        request.reply.lastByte = now;  // the connection standing is the first sign of life
    }
    // A reader that came back late is not the server's fault: the silence counts from its asking.
    const auto silent = now - std::max(request.reply.lastByte, waitStart);
    if (silent >= request.stall) return std::chrono::milliseconds{0};
    return std::chrono::ceil<std::chrono::milliseconds>(request.stall - silent);
}

// Drives the transfer until `ready` holds or it has ended.
template <class Ready>
void Pump(Request& request, Ready ready) {
    const SteadyClock::time_point waitStart = SteadyClock::now();
    while (!request.done && !ready()) {
        int running = 0;
        if (curl_multi_perform(request.multi, &running) != CURLM_OK) {
            request.done = true;
            request.refusal = ERROR_NOT_ENOUGH_MEMORY;
            return;
        }
        CollectDone(request);
        if (request.done || ready()) return;
        const std::chrono::milliseconds stallLeft = StallTimeLeft(request, waitStart);
        if (stallLeft.count() == 0) {
            GiveUpStalled(request);
            return;
        }
        // Wakes at once for socket activity; the pause only bounds how late libcurl's own timers
        // (time-outs, connect attempts) and the stall clock are looked at.
        const auto wait = std::min(stallLeft, kMaxPollWait);
        curl_multi_poll(request.multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
}

// The code of a transfer that ended; 0 when it ended well.
DWORD FinalError(const Request& request) {
    if (request.refusal) return request.refusal;
    return ErrorFromCurl(request.result, request.osErrno, request.redirects > 0, request.verifyResult);
}

// An http reply without a status line: the bare body that a daytime server sends.
bool IsBareBody(const Request& request) {
    return request.handleType == INTERNET_HANDLE_TYPE_HTTP_REQUEST && !request.reply.statusLine;
}

// A daytime server sends its record as soon as the connection stands and closes without reading
// the request; the unread request makes its system answer with a reset, which may reach this side
// after the whole reply. So for a bare body a reset after its first byte is the end of the reply,
// as a close is. Before any byte, and in a reply with a status line, a reset stays a failure.
bool EndedByReset(const Request& request) {
    return request.done && IsBareBody(request) && request.reply.bodyStarted &&
           FinalError(request) == ERROR_INTERNET_CONNECTION_RESET;
}

// How many of the received bytes may be handed to the reader now. A bare body keeps back an
// unfinished last line until its line feed comes or the reply ends: a reset may still cut it, and
// a cut line ("54441 07-12-07 14:39:1") must never reach the reader, which would take it for a
// record. A line too long to be held waiting is handed out as it is.
std::size_t Deliverable(const Request& request) {
    const std::size_t available = request.Available();
    if (available == 0 || !IsBareBody(request)) return available;
    const std::size_t ended = request.linesEnd > request.readPos ? request.linesEnd - request.readPos : 0;
    if (ended > 0) return ended;
    if (request.done) return EndedByReset(request) ? 0 : available;
    return available >= kMaxBuffered / 2 ? available : 0;
}

// Marks `count` more bytes as read and drops the read part once it outweighs the unread part.
void Consume(Request& request, std::size_t count) {
    request.readPos += count;
    if (request.readPos < request.body.size() - request.readPos) return;
    request.body.erase(0, request.readPos);
    request.linesEnd = request.linesEnd > request.readPos ? request.linesEnd - request.readPos : 0;
    request.readPos = 0;
}

void EnsureGlobalInit() {
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)initialised;
}

// WinINet's bypass list is separated by blanks or semicolons; libcurl's by commas.
std::string CurlNoProxyList(std::string bypass) {
    std::replace(bypass.begin(), bypass.end(), ';', ',');
    std::replace(bypass.begin(), bypass.end(), ' ', ',');
    return bypass;
}

// The handle type of a URL that this layer carries, or 0 with the refusal in `*error`. libcurl
// would guess a scheme for a URL without one and take "mailto:x@host" for a user at a host; WinINet
// refuses both, and so does this layer, before libcurl sees them. Only http and https are carried
// (file URLs never come here; they are opened as local files): the program needs no other, and
// libcurl's gopher would send a URL's bytes, as given, to any host and port, from a URL that the
// settings of someone else (a user whose HOME root runs with) may choose. ftp and gopher are
// unknown schemes here.
DWORD HandleTypeOf(const std::string& url, DWORD* error) {
    const std::optional<CrackedUrl> cracked = CrackUrl(url, error);
    if (!cracked) return 0;
    switch (cracked->scheme) {
        case UrlScheme::Http:
        case UrlScheme::Https: return INTERNET_HANDLE_TYPE_HTTP_REQUEST;
        default: *error = ERROR_INTERNET_UNRECOGNIZED_SCHEME; return 0;
    }
}

bool Configure(Request& request, const Session& session, const std::string& url, const std::string* headers,
               DWORD flags) {
    CURL* easy = request.easy;
    const Timeouts timeouts = CurrentTimeouts();
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK; };

    set(CURLOPT_URL, url.c_str());
    // Only the web, on the first URL and on every redirect.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Redirects are followed by FollowRedirect, which sees each target before it is connected to.
    set(CURLOPT_FOLLOWLOCATION, 0L);
    // A daytime server answers without a status line: its whole reply is the body.
    set(CURLOPT_HTTP09_ALLOWED, 1L);
    set(CURLOPT_USERAGENT, session.agent.c_str());
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    const std::string authorities = TrustedCertificates();
    if (!authorities.empty()) set(CURLOPT_CAINFO, authorities.c_str());
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.total.count()));
    request.deadline = SteadyClock::now() + timeouts.total;
    // The pump keeps the stall time-out itself (see StallTimeLeft); libcurl's limit stays as a
    // backstop.
    request.stall = timeouts.stall;
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.stall.count()));
    if (flags & INTERNET_FLAG_TRANSFER_ASCII) set(CURLOPT_TRANSFERTEXT, 1L);
    set(CURLOPT_ERRORBUFFER, request.errorBuffer);
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&request));
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&request));

    // With the pre-configured access libcurl reads the usual proxy variables (http_proxy,
    // https_proxy, all_proxy, no_proxy) itself.
    if (session.accessType == INTERNET_OPEN_TYPE_DIRECT) {
        set(CURLOPT_PROXY, "");
    } else if (session.accessType == INTERNET_OPEN_TYPE_PROXY) {
        set(CURLOPT_PROXY, session.proxy.c_str());
        if (!session.proxyBypass.empty()) set(CURLOPT_NOPROXY, session.proxyBypass.c_str());
    }

    if (headers) {
        // Extra headers come as WinINet takes them: lines ended by CR LF.
        std::size_t start = 0;
        while (start < headers->size()) {
            std::size_t end = headers->find_first_of("\r\n", start);
            if (end == std::string::npos) end = headers->size();
            if (end > start) {
                curl_slist* grown = curl_slist_append(request.headers, headers->substr(start, end - start).c_str());
                if (!grown) return false;
                request.headers = grown;
            }
            start = end + 1;
        }
        if (request.headers) set(CURLOPT_HTTPHEADER, request.headers);
    }
    return ok;
}

void Resume(Request& request) {
    request.paused = false;
    // libcurl may hand the held bytes to OnBody from inside this call, and may pause again.
    if (curl_easy_pause(request.easy, CURLPAUSE_CONT) != CURLE_OK && !request.done) {
        request.done = true;
        request.result = CURLE_RECV_ERROR;
    }
}

}  // namespace

void inet::SetTrustedCertificates(const std::string& pemFile) {
    std::lock_guard<std::mutex> lock(g_authoritiesMutex);
    g_authorities = pemFile;
}

std::size_t inet::HeldBytes(HINTERNET handle) {
    const Request* request = Lookup<Request>(handle, Handle::Type::Request);
    return request ? request->body.size() : 0;
}

HINTERNET CCurlInternet::InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                                      const std::string* proxyBypass, DWORD /*flags*/, DWORD* error) {
    // No cache exists here, so INTERNET_FLAG_DONT_CACHE asks for what happens anyway.
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
        accessType != INTERNET_OPEN_TYPE_PROXY && accessType != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
        *error = inet::ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (accessType == INTERNET_OPEN_TYPE_PROXY && (!proxy || proxy->empty())) {
        *error = inet::ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto session = std::make_unique<Session>();
    session->agent = agent;
    session->accessType = accessType;
    if (proxy) session->proxy = *proxy;
    if (proxyBypass) session->proxyBypass = CurlNoProxyList(*proxyBypass);
    Register(session.get());
    return session.release();
}

HINTERNET CCurlInternet::InternetOpenUrl(HINTERNET sessionHandle, const std::string& url, const std::string* headers,
                                         DWORD flags, DWORD /*context*/, DWORD* error) {
    const Session* session = Lookup<Session>(sessionHandle, Handle::Type::Session);
    if (!session) {
        *error = inet::ERROR_INVALID_HANDLE;
        return nullptr;
    }
    const DWORD handleType = HandleTypeOf(url, error);
    if (handleType == 0) return nullptr;
    // The TLS library's set-up costs start-up time and resident memory, so it waits for the first
    // URL rather than running when the window's session opens.
    EnsureGlobalInit();
    auto request = std::make_unique<Request>();
    request->handleType = handleType;
    request->easy = curl_easy_init();
    request->multi = curl_multi_init();
    if (!request->easy || !request->multi) {
        *error = ERROR_INTERNET_OUT_OF_HANDLES;
        return nullptr;
    }
    if (!Configure(*request, *session, url, headers, flags)) {
        *error = ERROR_INTERNET_INTERNAL_ERROR;
        return nullptr;
    }
    if (curl_multi_add_handle(request->multi, request->easy) != CURLM_OK) {
        *error = ERROR_INTERNET_INTERNAL_ERROR;
        return nullptr;
    }
    t_lastResponse.clear();
    Request& r = *request;
    Pump(r, [&r] { return r.Available() > 0 || r.reply.answered; });
    // Bytes that came before a failure are the reply's; the failure waits until they are read.
    if (r.Available() == 0 && !r.reply.answered) {
        if (const DWORD code = FinalError(r)) {
            *error = code;
            return nullptr;
        }
    }
    Register(request.get());
    return request.release();
}

std::optional<DWORD> CCurlInternet::QueryHandleType(HINTERNET handle) {
    const Request* request = Lookup<Request>(handle, Handle::Type::Request);
    if (!request) return std::nullopt;
    return request->handleType;
}

bool CCurlInternet::InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) {
    *read = 0;
    Request* request = Lookup<Request>(handle, Handle::Type::Request);
    if (!request) {
        *error = inet::ERROR_INVALID_HANDLE;
        return false;
    }
    Request& r = *request;
    if (size == 0) return true;
    if (Deliverable(r) == 0 && r.paused) Resume(r);
    Pump(r, [&r] { return Deliverable(r) > 0; });
    const std::size_t deliverable = Deliverable(r);
    if (deliverable == 0) {
        // Once part of the line has been handed out, its cut end can no longer be held back: the
        // reset is then a failure, never the end of a line.
        if (EndedByReset(r) && !r.lineHandedOut) {
            Consume(r, r.Available());  // the unfinished line that the reset cut
            return true;                // the end of the data
        }
        if (const DWORD code = FinalError(r)) {
            *error = code;
            return false;
        }
        return true;  // the end of the data
    }
    const std::size_t count = std::min<std::size_t>(size, deliverable);
    std::memcpy(buffer, r.body.data() + r.readPos, count);
    r.lineHandedOut = r.body[r.readPos + count - 1] != '\n';
    Consume(r, count);
    *read = static_cast<DWORD>(count);
    if (r.paused && r.Available() < kMaxBuffered / 2) Resume(r);
    return true;
}

bool CCurlInternet::InternetCloseHandle(HINTERNET handle) {
    if (!Unregister(handle)) return false;
    delete static_cast<Handle*>(handle);
    return true;
}

std::optional<std::string> CCurlInternet::CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error) {
    return inet::CanonicalizeUrl(url, flags, error);
}

std::optional<CrackedUrl> CCurlInternet::CrackUrl(const std::string& url, DWORD* error) {
    return inet::CrackUrl(url, error);
}

std::optional<std::string> CCurlInternet::ErrorText(DWORD code) { return inet::ErrorText(code); }

std::string CCurlInternet::LastResponseInfo() { return t_lastResponse; }

std::FILE* CCurlInternet::OpenLocalFile(const std::string& path, bool binary, DWORD* error) {
    return inet::OpenLocalFile(path, binary, error);
}

}  // namespace orvane
