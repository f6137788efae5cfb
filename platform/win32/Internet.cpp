// The Internet library on Windows: a pass-through to WININET.DLL.
#include "platform/win32/Services.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
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

// An open URL's reading: when its reply must have ended, the longest wait for a byte, and for a
// bare body (a reply without a status line) the bytes held back.
struct Reading {
    SteadyClock::time_point deadline;
    std::chrono::milliseconds stall;
    bool bare = false;
    bool bodyStarted = false;  // a byte of the body has come
    bool ended = false;        // the reply has ended; `held` is all that is left of it
    std::string held;          // received, not yet handed out
};

// The reading of every URL open now, by handle. An entry lives until its handle is closed, and a
// handle is read and closed by one thread at a time, so the reading found for it may be used
// outside the lock.
std::mutex g_readsMutex;
std::map<HINTERNET, Reading> g_reads;

Reading* ReadingOf(HINTERNET handle) {
    std::lock_guard<std::mutex> lock(g_readsMutex);
    const auto found = g_reads.find(handle);
    return found == g_reads.end() ? nullptr : &found->second;
}

// Whether the program runs on Wine, whose WinINet tells a reply without a status line apart in its
// own way (see SentStatusLine).
bool IsWine() {
    static const bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// Whether the server began its reply with a status line; a daytime server sends its record bare.
// Windows' WinINet answers every header query of a bare (HTTP/0.9) reply with
// ERROR_HTTP_DOWNLEVEL_SERVER. Wine's makes up "HTTP/1.0 200 OK" without header fields for it, the
// same text as a real "HTTP/1.0 200 OK" with no fields; but only a status line it has received
// does it also keep as a field "Status" (which its raw header text leaves out).
bool SentStatusLine(HINTERNET request) {
    ::DWORD status = 0;
    ::DWORD size = sizeof status;
    if (!::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return false;
    if (!IsWine()) return true;
    char field[32] = "Status";
    size = sizeof field;
    return ::HttpQueryInfoA(request, HTTP_QUERY_CUSTOM, field, &size, nullptr) != FALSE;
}

// WinSock's code for a reset (WSAECONNRESET), which a read may pass on as it stands.
constexpr DWORD kSocketReset = 10054;

// How the system tells that the server reset the connection: WinINet's code, as the Linux layer
// gives it too, or WinSock's, which Wine's WinINet passes on from a read. (Wine fails the open with
// ERROR_INTERNET_CONNECTION_ABORTED when the reset comes before the reply's first byte, where a
// reset is a failure anyway; that code is not a reset here, as it is not on Linux.)
bool IsReset(DWORD code) { return code == ERROR_INTERNET_CONNECTION_RESET || code == kSocketReset; }

// One read of what has come, bounded by the reading's deadline and stall time-out.
bool ReadArrived(HINTERNET handle, const Reading* reading, void* buffer, ::DWORD size, ::DWORD* read, DWORD* error) {
    *read = 0;
    if (reading) {
        // Each wait for bytes ends at the stall time-out or the reply's deadline, whichever comes first.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(reading->deadline - SteadyClock::now());
        if (left.count() <= 0) {
            if (error) *error = ERROR_INTERNET_TIMEOUT;
            ::SetLastError(ERROR_INTERNET_TIMEOUT);
            return false;
        }
        SetTimeoutOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, std::min<std::chrono::milliseconds>(reading->stall, left));
    }
    // WinINet's read waits until the whole buffer is filled or the reply ends, however slowly the
    // bytes come; asking first how many bytes are there waits only for the first of them, within
    // the time-out above, and the read then takes just those.
    ::DWORD available = 0;
    if (!::InternetQueryDataAvailable(handle, &available, 0, 0)) {
        SetError(error);
        return false;
    }
    if (available < size) size = available;
    if (size > 0 && !::InternetReadFile(handle, buffer, size, read)) {
        *read = 0;
        SetError(error);
        return false;
    }
    return true;
}

// A daytime server sends its record as soon as the connection stands and closes without reading
// the request; the unread request makes its system answer with a reset, which may come right
// behind the reply. So in a bare body a reset after its first byte ends the reply as a close does,
// after its last complete line: a line the reset cut ("54441 07-12-07 14:39:1") is never handed
// out, so an unfinished line is held back until its line feed or the end comes. Before any byte of
// the body a reset stays a failure.
bool ReadBareBody(HINTERNET handle, Reading& reading, void* buffer, ::DWORD size, DWORD* read, DWORD* error) {
    for (;;) {
        std::size_t ready = reading.held.rfind('\n');
        ready = ready == std::string::npos ? 0 : ready + 1;
        if (reading.ended || reading.held.size() >= kMaxHeldLine) ready = reading.held.size();
        if (ready > 0 || reading.ended) {
            const std::size_t count = std::min<std::size_t>(size, ready);
            reading.held.copy(static_cast<char*>(buffer), count);
            reading.held.erase(0, count);
            *read = static_cast<DWORD>(count);
            return true;
        }
        char chunk[4096];
        ::DWORD count = 0;
        DWORD failure = 0;
        if (!ReadArrived(handle, &reading, chunk, sizeof chunk, &count, &failure)) {
            if (!reading.bodyStarted || !IsReset(failure)) {
                *read = 0;
                if (error) *error = failure;
                ::SetLastError(failure);
                return false;
            }
            reading.held.clear();  // the line the reset cut
            reading.ended = true;
            continue;
        }
        if (count == 0) reading.ended = true;
        reading.bodyStarted = reading.bodyStarted || count > 0;
        reading.held.append(chunk, count);
    }
}

// A URL being opened on a thread of its own, so that the caller can give it up at the reply's
// deadline: WinINet's open waits for the name, for each address's connection and for the whole
// header block, and a server that sends a header byte now and then holds it for as long as it
// likes. The opening thread owns one reference and the caller the other.
struct Opening {
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    bool abandoned = false;            // the caller has given up; the thread closes what it gets
    HINTERNET created = nullptr;       // the URL's handle, as soon as WinINet has made it
    HINTERNET closedByCaller = nullptr;
    HINTERNET handle = nullptr;        // the open's result
    DWORD error = 0;
    std::string responseInfo;          // WinINet's text for ERROR_INTERNET_EXTENDED_ERROR
};

// The opening that the calling thread runs; WinINet calls a synchronous handle's status callback
// on the thread that made the call.
thread_local Opening* t_opening = nullptr;

// The response text of this thread's last open, which WinINet kept on the opening thread.
thread_local std::string t_openResponseInfo;

// Every session's status callback. It learns the URL's handle as WinINet makes it, which lets the
// caller close it from its own thread and so break off the open (Windows cancels the pending call;
// Wine's goes on until the server ends it, and the opening thread then closes what it got).
// WinINet makes these calls only for an open with a context other than 0.
void CALLBACK OnStatus(HINTERNET, ::DWORD_PTR, ::DWORD status, void* information, ::DWORD length) {
    Opening* opening = t_opening;
    if (status != INTERNET_STATUS_HANDLE_CREATED || !opening || !information || length < sizeof(HINTERNET)) return;
    std::lock_guard<std::mutex> lock(opening->mutex);
    opening->created = *static_cast<HINTERNET*>(information);
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

void RunOpening(const std::shared_ptr<Opening>& opening, HINTERNET session, const std::string& url,
                const std::optional<std::string>& headers, DWORD flags, DWORD context) {
    t_opening = opening.get();
    HINTERNET handle = ::InternetOpenUrlA(session, url.c_str(), headers ? headers->c_str() : nullptr,
                                          headers ? static_cast<::DWORD>(headers->size()) : 0, flags, context);
    const DWORD error = handle ? 0 : static_cast<DWORD>(::GetLastError());
    t_opening = nullptr;
    std::lock_guard<std::mutex> lock(opening->mutex);
    if (opening->abandoned) {
        if (handle && handle != opening->closedByCaller) ::InternetCloseHandle(handle);
        return;
    }
    opening->handle = handle;
    opening->error = error;
    if (error == ERROR_INTERNET_EXTENDED_ERROR) opening->responseInfo = ThreadResponseInfo();
    opening->finished = true;
    opening->finishedChanged.notify_all();
}

// Opens `url` on a thread of its own and waits for it until `deadline`; then closes the URL's
// handle, leaves the thread to end by itself and answers ERROR_INTERNET_TIMEOUT.
HINTERNET OpenBefore(SteadyClock::time_point deadline, HINTERNET session, const std::string& url,
                     const std::string* headers, DWORD flags, DWORD context, DWORD* error) {
    auto opening = std::make_shared<Opening>();
    t_openResponseInfo.clear();
    try {
        std::thread(RunOpening, opening, session, url, headers ? std::optional<std::string>(*headers) : std::nullopt,
                    flags, context)
            .detach();
    } catch (const std::system_error&) {
        if (error) *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(opening->mutex);
    if (opening->finishedChanged.wait_until(lock, deadline, [&] { return opening->finished; })) {
        if (!opening->handle && error) *error = opening->error;
        t_openResponseInfo = opening->responseInfo;
        return opening->handle;
    }
    opening->abandoned = true;
    opening->closedByCaller = opening->created;
    lock.unlock();
    if (opening->closedByCaller) ::InternetCloseHandle(opening->closedByCaller);
    if (error) *error = ERROR_INTERNET_TIMEOUT;
    return nullptr;
}

}  // namespace

HINTERNET CWin32Internet::InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                       const std::string* proxyBypass, DWORD flags, DWORD* error) {
    HINTERNET session = ::InternetOpenA(agent.c_str(), accessType, proxy ? proxy->c_str() : nullptr,
                                        proxyBypass ? proxyBypass->c_str() : nullptr, flags);
    if (!session) {
        SetError(error);
        return session;
    }
    ::InternetSetStatusCallbackA(session, OnStatus);
    return session;
}

HINTERNET CWin32Internet::InternetOpenUrl(HINTERNET session, const std::string& url, const std::string* headers, DWORD flags,
                          DWORD context, DWORD* error) {
    // WinINet bounds the connecting and each wait for bytes; the whole reply is bounded here, from
    // the open to the last read. Without that a server that sends a byte now and then would hold
    // the program for as long as it liked.
    const inet::Timeouts timeouts = inet::CurrentTimeouts();
    const SteadyClock::time_point deadline = SteadyClock::now() + timeouts.total;
    SetTimeoutOption(session, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.connect);
    SetTimeoutOption(session, INTERNET_OPTION_RECEIVE_TIMEOUT, std::min<std::chrono::milliseconds>(timeouts.stall, timeouts.total));
    SetTimeoutOption(session, INTERNET_OPTION_SEND_TIMEOUT, timeouts.stall);
    HINTERNET handle = OpenBefore(deadline, session, url, headers, flags, context, error);
    if (!handle) return handle;
    Reading reading;
    reading.deadline = deadline;
    reading.stall = timeouts.stall;
    ::DWORD type = 0;
    ::DWORD typeSize = sizeof type;
    reading.bare = ::InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &typeSize) &&
                   type == INTERNET_HANDLE_TYPE_HTTP_REQUEST && !SentStatusLine(handle);
    std::lock_guard<std::mutex> lock(g_readsMutex);
    g_reads[handle] = std::move(reading);
    return handle;
}

std::optional<DWORD> CWin32Internet::QueryHandleType(HINTERNET handle) {
    ::DWORD type = 0;
    ::DWORD size = sizeof type;
    if (!::InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size)) return std::nullopt;
    return static_cast<DWORD>(type);
}

bool CWin32Internet::InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) {
    Reading* reading = ReadingOf(handle);
    if (reading && reading->bare) return ReadBareBody(handle, *reading, buffer, size, read, error);
    ::DWORD count = 0;
    const bool ok = ReadArrived(handle, reading, buffer, size, &count, error);
    *read = static_cast<DWORD>(count);
    return ok;
}

bool CWin32Internet::InternetCloseHandle(HINTERNET handle) {
    {
        std::lock_guard<std::mutex> lock(g_readsMutex);
        g_reads.erase(handle);
    }
    return ::InternetCloseHandle(handle) != FALSE;
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
