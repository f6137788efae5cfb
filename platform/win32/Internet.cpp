// The Internet library on Windows: WININET.DLL in its asynchronous mode, each call bounded by the
// reply's deadline.
#include "platform/win32/Services.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/InternetWin32.h"
#include "platform/win32/Win32.h"

namespace orvane {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The canonical form and each part of a split URL are held to this many characters.
constexpr ::DWORD kUrlBufferSize = 2058;

void SetError(DWORD* error) {
    if (error) *error = static_cast<DWORD>(::GetLastError());
}

UrlScheme SchemeOf(INTERNET_SCHEME scheme) {
    switch (scheme) {
        case INTERNET_SCHEME_FTP: return UrlScheme::Ftp;
        case INTERNET_SCHEME_GOPHER: return UrlScheme::Gopher;
        case INTERNET_SCHEME_HTTP: return UrlScheme::Http;
        case INTERNET_SCHEME_HTTPS: return UrlScheme::Https;
        case INTERNET_SCHEME_FILE: return UrlScheme::File;
        case INTERNET_SCHEME_NEWS: return UrlScheme::News;
        case INTERNET_SCHEME_MAILTO: return UrlScheme::Mailto;
        default: return UrlScheme::Unknown;
    }
}

// One FormatMessageA call into a buffer that the system allocates. Inserts are left as they stand:
// without arguments to fill them, a message with "%1" would otherwise be read past its end.
std::optional<std::string> FormatFrom(::DWORD source, HMODULE module, DWORD code) {
    char* buffer = nullptr;
    const ::DWORD length = ::FormatMessageA(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                                            module, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                                            reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length == 0 || !buffer) {
        if (buffer) ::LocalFree(buffer);
        return std::nullopt;
    }
    std::string text(buffer, length);
    ::LocalFree(buffer);
    return text;
}

// Sets a time-out option (milliseconds) on a WinINet handle; WinINet takes at least 1.
void SetTimeoutOption(HINTERNET handle, ::DWORD option, std::chrono::milliseconds timeout) {
    ::DWORD milliseconds = static_cast<::DWORD>(std::clamp<long long>(timeout.count(), 1, 0x7FFFFFFF));
    ::InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}

// A bare body keeps back its unfinished last line (see ReadBareBody) up to this many bytes; a
// longer line is handed out as it is.
constexpr std::size_t kMaxHeldLine = 32 * 1024;

// How long closing a session waits for WinINet to let go of an open that is still under way.
constexpr std::chrono::seconds kSessionCloseWait(2);

// An open URL's reading: when its reply must have ended, the longest wait for a byte, and for a
// bare body (a reply without a status line) the bytes held back.
struct Reading {
    SteadyClock::time_point deadline;
    std::chrono::milliseconds stall{0};
    bool bare = false;
    bool bodyStarted = false;    // a byte of the body has come
    bool lineHandedOut = false;  // the last byte handed out was not a line feed
    bool ended = false;          // the reply has ended; `held` is all that is left of it
    std::string held;            // received, not yet handed out
};

// Sessions run in WinINet's asynchronous mode (INTERNET_FLAG_ASYNC): an open or a read that has to
// wait returns ERROR_IO_PENDING, WinINet goes on with it on a thread of its own and reports its end
// to the status callback. The caller's thread waits for that report no longer than the reply's
// deadline, and gives the call up by closing its handle. Windows then cancels the call; Wine's goes
// on until the server ends it, and only then lets go of the handle. WinINet calls the callback on
// threads of its choosing, so the callback finds the open by the context it was given, a key of
// its own; an open's state lives as long as WinINet may still write into it.
//
// A URL handle's value stays reserved until WinINet has reported INTERNET_STATUS_HANDLE_CLOSING
// for it (after the last REQUEST_COMPLETE). Every close below checks, under the lock that the
// callback takes, that this report has not come, so that no value that WinINet has freed, and may
// have given to another open, is ever closed.
struct Open {
    ::DWORD_PTR key = 0;
    HINTERNET handle = nullptr;   // WinINet's handle of the URL, once made
    bool closed = false;          // this layer has closed `handle`
    bool gone = false;            // WinINet has let go of `handle`
    bool owned = false;           // handed to the caller, who has not closed it yet
    bool pending = false;         // a call has returned ERROR_IO_PENDING and not yet ended
    bool completed = false;       // WinINet has reported the end of the pending call
    INTERNET_ASYNC_RESULT result{};
    DWORD broken = 0;             // a failure that ends every further read
    std::string responseInfo;     // WinINet's text for ERROR_INTERNET_EXTENDED_ERROR
    // Where a pending call writes its results, which outlives a wait that gives up.
    ::DWORD available = 0;
    ::DWORD count = 0;
    char chunk[4096];
    Reading reading;
};

struct Session {
    HINTERNET handle = nullptr;
    // The session's latest open, until WinINet has let go of it: at most one is under way at a time.
    std::shared_ptr<Open> outstanding;
};

// The state of every open and session, under one lock. The lock is recursive because WinINet may
// call the status callback on the calling thread from inside a call made with it held (a close).
struct State {
    std::recursive_mutex mutex;
    std::condition_variable_any changed;
    std::map<::DWORD_PTR, std::shared_ptr<Open>> opens;  // by key, while WinINet may call back for them
    std::map<void*, std::shared_ptr<Open>> streams;      // what callers hold, by the pointer they hold
    std::map<void*, std::shared_ptr<Session>> sessions;
    ::DWORD_PTR lastKey = 1;
};
// Never destroyed: WinINet's own threads may still call back while the process ends.
State& g_state = *new State;
std::recursive_mutex& g_mutex = g_state.mutex;
std::condition_variable_any& g_changed = g_state.changed;
auto& g_opens = g_state.opens;
auto& g_streams = g_state.streams;
auto& g_sessions = g_state.sessions;
::DWORD_PTR& g_lastKey = g_state.lastKey;

std::shared_ptr<Open> StreamOf(HINTERNET handle) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    const auto found = g_streams.find(handle);
    return found == g_streams.end() ? nullptr : found->second;
}

std::shared_ptr<Session> SessionOf(HINTERNET handle) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    const auto found = g_sessions.find(handle);
    return found == g_sessions.end() ? nullptr : found->second;
}

std::string ThreadResponseInfo() {
    ::DWORD error = 0;
    ::DWORD length = 0;
    if (::InternetGetLastResponseInfoA(&error, nullptr, &length) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<char> buffer(length + 1, '\0');
    length = static_cast<::DWORD>(buffer.size());
    if (!::InternetGetLastResponseInfoA(&error, buffer.data(), &length)) return {};
    return std::string(buffer.data());
}

// Closes the open's handle unless it is closed already or WinINet has let go of it. Lock held.
void CloseOnce(Open& open) {
    if (!open.handle || open.closed || open.gone) return;
    open.closed = true;
    ::InternetCloseHandle(open.handle);
}

// Whether the open is over for WinINet: its handle let go of, or none ever made and no call under way.
bool Settled(const Open& open) { return open.gone || (!open.handle && (!open.pending || open.completed)); }

void CALLBACK OnStatus(HINTERNET handle, ::DWORD_PTR key, ::DWORD status, void* information, ::DWORD length) {
    if (!information || length < sizeof(::DWORD_PTR)) return;
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    const auto found = g_opens.find(key);
    if (found == g_opens.end()) return;
    const std::shared_ptr<Open> open = found->second;
    switch (status) {
        case INTERNET_STATUS_HANDLE_CREATED:
            // Also the handle of the URL when the open then fails or is given up before it ends.
            if (!open->closed) open->handle = reinterpret_cast<HINTERNET>(*static_cast<::DWORD_PTR*>(information));
            break;
        case INTERNET_STATUS_REQUEST_COMPLETE:
            if (length < sizeof(INTERNET_ASYNC_RESULT)) return;
            open->result = *static_cast<INTERNET_ASYNC_RESULT*>(information);
            // The server's text is kept on the thread that ran the call.
            if (open->result.dwError == ERROR_INTERNET_EXTENDED_ERROR) open->responseInfo = ThreadResponseInfo();
            open->completed = true;
            break;
        case INTERNET_STATUS_HANDLE_CLOSING:
            if (handle != open->handle) return;  // InternetOpenUrl's own connection handle
            open->gone = true;
            open->pending = false;
            g_opens.erase(found);
            break;
        default: return;
    }
    g_changed.notify_all();
}

// Starts a call on the open: it marks the call as under way before WinINet may report its end.
void Begin(Open& open) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    open.pending = true;
    open.completed = false;
}

// Ends a call that returned `done`: at once, or by waiting for WinINet's report until `until`.
// False with the code in `*error` when the call failed or did not end in time; a call that did not
// end is still under way, and its open can take no further call.
bool Finish(Open& open, bool done, SteadyClock::time_point until, DWORD* error) {
    const DWORD code = done ? 0 : static_cast<DWORD>(::GetLastError());
    std::unique_lock<std::recursive_mutex> lock(g_mutex);
    if (done || code != ERROR_IO_PENDING) {
        open.pending = false;
        *error = code;
        return done;
    }
    if (!g_changed.wait_until(lock, until, [&] { return open.completed || open.gone; })) {
        open.broken = ERROR_INTERNET_TIMEOUT;
        *error = ERROR_INTERNET_TIMEOUT;
        return false;
    }
    open.pending = false;
    if (open.result.dwResult != 0) return true;
    *error = open.gone ? ERROR_INVALID_HANDLE : (open.result.dwError ? open.result.dwError : ERROR_INTERNET_INTERNAL_ERROR);
    return false;
}

// Waits until `deadline` for the session's earlier open to be over. One that its caller has given
// up is closed first; one that its caller still holds is not waited for.
bool AwaitOutstanding(Session& session, SteadyClock::time_point deadline, DWORD* error) {
    std::unique_lock<std::recursive_mutex> lock(g_mutex);
    const std::shared_ptr<Open> earlier = session.outstanding;
    if (!earlier || Settled(*earlier)) return true;
    if (earlier->owned) {
        *error = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
        return false;
    }
    // A handle that WinINet makes only after this is closed as soon as it comes.
    if (!g_changed.wait_until(lock, deadline, [&] {
            CloseOnce(*earlier);
            return Settled(*earlier);
        })) {
        *error = ERROR_INTERNET_TIMEOUT;
        return false;
    }
    return true;
}

// Gives the open up: closes its handle if it has one, or leaves it to the session's next open or
// its close when WinINet has not made it yet. An open that WinINet never made a handle for and
// runs no call for is forgotten at once: no report will come for it.
void Abandon(Open& open) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    CloseOnce(open);
    if (!open.handle && Settled(open)) g_opens.erase(open.key);
}

// Whether the program runs on Wine, whose WinINet tells a reply without a status line apart in its
// own way (see IsBareReply).
bool IsWine() {
    static const bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// Whether the server sent its reply without a status line, as a daytime server does; none when
// WinINet cannot tell, with its code in `*error`. Windows' WinINet answers every header query of a
// bare (HTTP/0.9) reply with ERROR_HTTP_DOWNLEVEL_SERVER. Wine's either finds no status code in it
// (ERROR_HTTP_HEADER_NOT_FOUND) or makes up "HTTP/1.0 200 OK" without header fields for it, the same
// text as a real "HTTP/1.0 200 OK" with no fields; but only a status line it has received does it
// also keep as a field "Status" (which its raw header text leaves out).
std::optional<bool> IsBareReply(HINTERNET request, DWORD* error) {
    ::DWORD status = 0;
    ::DWORD size = sizeof status;
    if (::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        if (!IsWine()) return false;
        char field[32] = "Status";
        size = sizeof field;
        if (::HttpQueryInfoA(request, HTTP_QUERY_CUSTOM, field, &size, nullptr)) return false;
    }
    const DWORD code = static_cast<DWORD>(::GetLastError());
    if (code == ERROR_HTTP_DOWNLEVEL_SERVER || (IsWine() && code == ERROR_HTTP_HEADER_NOT_FOUND)) return true;
    *error = code;
    return std::nullopt;
}

// WinSock's code for a reset (WSAECONNRESET), which a read may pass on as it stands.
constexpr DWORD kSocketReset = 10054;

// How the system tells that the server reset the connection: WinINet's code, as the Linux layer
// gives it too, or WinSock's, which Wine's WinINet passes on from a read. (Wine fails the open with
// ERROR_INTERNET_CONNECTION_ABORTED when the reset comes before the reply's first byte, where a
// reset is a failure anyway; that code is not a reset here, as it is not on Linux.)
bool IsReset(DWORD code) { return code == ERROR_INTERNET_CONNECTION_RESET || code == kSocketReset; }

// One read of what has come, bounded by the reading's deadline and stall time-out: WinINet's read
// waits until the whole buffer is filled or the reply ends, however slowly the bytes come; asking
// first how many bytes are there waits only for the first of them, and the read then takes just those.
bool ReadArrived(Open& open, void* buffer, ::DWORD size, ::DWORD* read, DWORD* error) {
    *read = 0;
    if (open.broken) {
        *error = open.broken;
        return false;
    }
    const Reading& reading = open.reading;
    const SteadyClock::time_point now = SteadyClock::now();
    if (now >= reading.deadline) {
        *error = ERROR_INTERNET_TIMEOUT;
        return false;
    }
    const SteadyClock::time_point until = std::min(reading.deadline, now + reading.stall);
    ::DWORD available = 0;
    for (;;) {
        Begin(open);
        const bool done = ::InternetQueryDataAvailable(open.handle, &open.available, 0, 0) != FALSE;
        if (!Finish(open, done, until, error)) return false;
        if (done) break;
        // A pending query ended: the bytes are there now, and the next query counts them at once.
    }
    {
        std::lock_guard<std::recursive_mutex> lock(g_mutex);
        available = open.available;
    }
    const ::DWORD wanted = std::min<::DWORD>({size, available, static_cast<::DWORD>(sizeof open.chunk)});
    if (wanted == 0) return true;  // the end of the reply
    Begin(open);
    const bool done = ::InternetReadFile(open.handle, open.chunk, wanted, &open.count) != FALSE;
    if (!Finish(open, done, until, error)) return false;
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    std::memcpy(buffer, open.chunk, open.count);
    *read = open.count;
    return true;
}

// A daytime server sends its record as soon as the connection stands and closes without reading
// the request; the unread request makes its system answer with a reset, which may come right
// behind the reply. So in a bare body a reset after its first byte ends the reply as a close does,
// after its last complete line: a line the reset cut ("54441 07-12-07 14:39:1") is never handed
// out, so an unfinished line is held back until its line feed or the end comes. Before any byte of
// the body a reset stays a failure; and so does one after part of a line too long to hold back was
// handed out, whose cut end can no longer be kept from the reader (ERROR_INTERNET_CONNECTION_RESET,
// as on Linux).
bool ReadBareBody(Open& open, void* buffer, ::DWORD size, DWORD* read, DWORD* error) {
    Reading& reading = open.reading;
    for (;;) {
        std::size_t ready = reading.held.rfind('\n');
        ready = ready == std::string::npos ? 0 : ready + 1;
        if (reading.ended || reading.held.size() >= kMaxHeldLine) ready = reading.held.size();
        if (ready > 0 || reading.ended) {
            const std::size_t count = std::min<std::size_t>(size, ready);
            reading.held.copy(static_cast<char*>(buffer), count);
            if (count > 0) reading.lineHandedOut = reading.held[count - 1] != '\n';
            reading.held.erase(0, count);
            *read = static_cast<DWORD>(count);
            return true;
        }
        char chunk[4096];
        ::DWORD count = 0;
        DWORD failure = 0;
        if (!ReadArrived(open, chunk, sizeof chunk, &count, &failure)) {
            const bool reset = IsReset(failure);
            if (reset && reading.bodyStarted && !reading.lineHandedOut) {
                reading.held.clear();  // the line the reset cut
                reading.ended = true;
                continue;
            }
            *read = 0;
            *error = reset && reading.lineHandedOut ? ERROR_INTERNET_CONNECTION_RESET : failure;
            return false;
        }
        if (count == 0) reading.ended = true;
        reading.bodyStarted = reading.bodyStarted || count > 0;
        reading.held.append(chunk, count);
    }
}

// The response text of this thread's last open, which WinINet kept on the thread that ran it.
thread_local std::string t_openResponseInfo;

}  // namespace

HINTERNET CWin32Internet::InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                       const std::string* proxyBypass, DWORD flags, DWORD* error) {
    HINTERNET handle = ::InternetOpenA(agent.c_str(), accessType, proxy ? proxy->c_str() : nullptr,
                                       proxyBypass ? proxyBypass->c_str() : nullptr, flags | INTERNET_FLAG_ASYNC);
    if (!handle) {
        SetError(error);
        return nullptr;
    }
    if (::InternetSetStatusCallbackA(handle, OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
        SetError(error);
        ::InternetCloseHandle(handle);
        return nullptr;
    }
    auto session = std::make_shared<Session>();
    session->handle = handle;
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    g_sessions[session.get()] = session;
    return session.get();
}

HINTERNET CWin32Internet::InternetOpenUrl(HINTERNET sessionHandle, const std::string& url, const std::string* headers,
                                          DWORD flags, DWORD, DWORD* error) {
    DWORD ignored = 0;
    if (!error) error = &ignored;
    const std::shared_ptr<Session> session = SessionOf(sessionHandle);
    if (!session) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    // WinINet bounds the connecting and each wait for bytes; the whole reply is bounded here, from
    // the open to the last read. Without that a server that sends a byte now and then would hold
    // the program for as long as it liked.
    const inet::Timeouts timeouts = inet::CurrentTimeouts();
    const SteadyClock::time_point deadline = SteadyClock::now() + timeouts.total;
    SetTimeoutOption(session->handle, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.connect);
    SetTimeoutOption(session->handle, INTERNET_OPTION_RECEIVE_TIMEOUT, std::min<std::chrono::milliseconds>(timeouts.stall, timeouts.total));
    SetTimeoutOption(session->handle, INTERNET_OPTION_SEND_TIMEOUT, timeouts.stall);
    t_openResponseInfo.clear();
    if (!AwaitOutstanding(*session, deadline, error)) return nullptr;

    auto open = std::make_shared<Open>();
    {
        std::lock_guard<std::recursive_mutex> lock(g_mutex);
        open->key = ++g_lastKey;
        g_opens[open->key] = open;
        session->outstanding = open;
    }
    Begin(*open);
    HINTERNET handle = ::InternetOpenUrlA(session->handle, url.c_str(), headers ? headers->c_str() : nullptr,
                                          headers ? static_cast<::DWORD>(headers->size()) : 0, flags, open->key);
    if (!Finish(*open, handle != nullptr, deadline, error)) {
        if (*error == ERROR_INTERNET_EXTENDED_ERROR) {
            std::lock_guard<std::recursive_mutex> lock(g_mutex);
            t_openResponseInfo = open->completed ? open->responseInfo : ThreadResponseInfo();
        }
        Abandon(*open);
        return nullptr;
    }
    {
        std::lock_guard<std::recursive_mutex> lock(g_mutex);
        if (!handle) handle = reinterpret_cast<HINTERNET>(open->result.dwResult);
        open->handle = handle;
    }
    Reading& reading = open->reading;
    reading.deadline = deadline;
    reading.stall = std::chrono::duration_cast<std::chrono::milliseconds>(timeouts.stall);
    ::DWORD type = 0;
    ::DWORD typeSize = sizeof type;
    if (::InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &typeSize) &&
        type == INTERNET_HANDLE_TYPE_HTTP_REQUEST) {
        const std::optional<bool> bare = IsBareReply(handle, error);
        if (!bare) {
            Abandon(*open);
            return nullptr;
        }
        reading.bare = *bare;
    }
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    open->owned = true;
    g_streams[open.get()] = open;
    return open.get();
}

std::optional<DWORD> CWin32Internet::QueryHandleType(HINTERNET handle) {
    const std::shared_ptr<Open> open = StreamOf(handle);
    if (!open) return std::nullopt;
    ::DWORD type = 0;
    ::DWORD size = sizeof type;
    if (!::InternetQueryOptionA(open->handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size)) return std::nullopt;
    return static_cast<DWORD>(type);
}

bool CWin32Internet::InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) {
    DWORD ignored = 0;
    if (!error) error = &ignored;
    *read = 0;
    const std::shared_ptr<Open> open = StreamOf(handle);
    if (!open) {
        *error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (open->reading.bare) return ReadBareBody(*open, buffer, size, read, error);
    ::DWORD count = 0;
    const bool ok = ReadArrived(*open, buffer, size, &count, error);
    *read = static_cast<DWORD>(count);
    return ok;
}

bool CWin32Internet::InternetCloseHandle(HINTERNET handle) {
    std::unique_lock<std::recursive_mutex> lock(g_mutex);
    if (const auto stream = g_streams.find(handle); stream != g_streams.end()) {
        const std::shared_ptr<Open> open = stream->second;
        g_streams.erase(stream);
        open->owned = false;
        CloseOnce(*open);
        return true;
    }
    const auto found = g_sessions.find(handle);
    if (found == g_sessions.end()) return false;
    const std::shared_ptr<Session> session = found->second;
    g_sessions.erase(found);
    // What is still under way is closed, and WinINet is given a moment to let go of it.
    if (const std::shared_ptr<Open> open = session->outstanding) {
        CloseOnce(*open);
        const auto until = SteadyClock::now() + kSessionCloseWait;
        g_changed.wait_until(lock, until, [&] {
            CloseOnce(*open);  // a handle made after the close above
            return Settled(*open);
        });
    }
    return ::InternetCloseHandle(session->handle) != FALSE;
}

std::optional<std::string> CWin32Internet::CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error) {
    std::vector<char> buffer(kUrlBufferSize);
    ::DWORD length = kUrlBufferSize;
    if (!::InternetCanonicalizeUrlA(url.c_str(), buffer.data(), &length, flags)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            SetError(error);
            return std::nullopt;
        }
        // The call has put the size it needs in `length`.
        buffer.assign(length + 1, '\0');
        length = static_cast<::DWORD>(buffer.size());
        if (!::InternetCanonicalizeUrlA(url.c_str(), buffer.data(), &length, flags)) {
            SetError(error);
            return std::nullopt;
        }
    }
    return std::string(buffer.data(), length);
}

std::optional<CrackedUrl> CWin32Internet::CrackUrl(const std::string& url, DWORD* error) {
    std::vector<char> host(kUrlBufferSize + 1);
    std::vector<char> path(kUrlBufferSize + 1);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = kUrlBufferSize + 1;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = kUrlBufferSize + 1;
    if (!::InternetCrackUrlA(url.c_str(), static_cast<::DWORD>(url.size()), 0, &parts)) {
        SetError(error);
        return std::nullopt;
    }
    CrackedUrl cracked;
    cracked.scheme = SchemeOf(parts.nScheme);
    cracked.hostName.assign(host.data(), parts.dwHostNameLength);
    cracked.urlPath.assign(path.data(), parts.dwUrlPathLength);
    return cracked;
}

std::optional<std::string> CWin32Internet::ErrorText(DWORD code) {
    std::optional<std::string> text;
    if (HMODULE wininet = ::LoadLibraryA("WININET.DLL")) {
        text = FormatFrom(FORMAT_MESSAGE_FROM_HMODULE, wininet, code);
        ::FreeLibrary(wininet);
    }
    if (!text) text = FormatFrom(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
    return text;
}

std::FILE* CWin32Internet::OpenLocalFile(const std::string& path, bool binary, DWORD* error) {
    // The system's own open, so that its error code (a sharing or lock violation, a missing
    // folder) is the one reported; the C library would fold these into errno's few values.
    const ::HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetError(error);
        return nullptr;
    }
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | (binary ? _O_BINARY : _O_TEXT));
    if (descriptor == -1) {
        ::CloseHandle(file);
        if (error) *error = ERROR_TOO_MANY_OPEN_FILES;
        return nullptr;
    }
    std::FILE* stream = ::_fdopen(descriptor, binary ? "rb" : "r");
    if (!stream) {
        ::_close(descriptor);  // closes the handle too
        if (error) *error = ERROR_TOO_MANY_OPEN_FILES;
    }
    return stream;
}

std::string CWin32Internet::LastResponseInfo() {
    std::string text = ThreadResponseInfo();
    return text.empty() ? t_openResponseInfo : text;
}

}  // namespace orvane
