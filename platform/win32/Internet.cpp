// The Internet library on Windows: a pass-through to WININET.DLL.
#include "platform/win32/Services.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <map>
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

// A reply without a status line, as the daytime service sends it. WinINet shows such a reply with
// a status line of its own making and no header field at all, which no HTTP server sends.
bool HasNoHeaderFields(HINTERNET request) {
    char headers[512];
    ::DWORD size = sizeof headers;
    if (!::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers, &size, nullptr)) {
        // A reply whose headers do not fit here has fields; one with none at all has no status line.
        return ::GetLastError() != ERROR_INSUFFICIENT_BUFFER;
    }
    const std::string text(headers, size);
    const std::size_t statusEnd = text.find("\r\n");
    return statusEnd == std::string::npos || text.compare(statusEnd, 4, "\r\n\r\n") == 0 ||
           text.size() == statusEnd + 2;
}

// WinSock's code for a reset (WSAECONNRESET), which a read may pass on as it stands.
constexpr DWORD kSocketReset = 10054;

// How the system tells that the server broke the connection off.
bool IsBrokenOff(DWORD code) {
    return code == ERROR_INTERNET_CONNECTION_RESET || code == ERROR_INTERNET_CONNECTION_ABORTED || code == kSocketReset;
}

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
            if (!reading.bodyStarted || !IsBrokenOff(failure)) {
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

}  // namespace

HINTERNET CWin32Internet::InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                       const std::string* proxyBypass, DWORD flags, DWORD* error) {
    HINTERNET session = ::InternetOpenA(agent.c_str(), accessType, proxy ? proxy->c_str() : nullptr,
                                        proxyBypass ? proxyBypass->c_str() : nullptr, flags);
    if (!session) SetError(error);
    return session;
}

HINTERNET CWin32Internet::InternetOpenUrl(HINTERNET session, const std::string& url, const std::string* headers, DWORD flags,
                          DWORD context, DWORD* error) {
    // WinINet bounds the connecting and each wait for bytes; the whole reply is bounded here, at
    // every read. Without that a server that sends a byte now and then would hold the program
    // for as long as it liked.
    const inet::Timeouts timeouts = inet::CurrentTimeouts();
    const SteadyClock::time_point deadline = SteadyClock::now() + timeouts.total;
    SetTimeoutOption(session, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.connect);
    SetTimeoutOption(session, INTERNET_OPTION_RECEIVE_TIMEOUT, std::min<std::chrono::milliseconds>(timeouts.stall, timeouts.total));
    SetTimeoutOption(session, INTERNET_OPTION_SEND_TIMEOUT, timeouts.stall);
    HINTERNET handle = ::InternetOpenUrlA(session, url.c_str(), headers ? headers->c_str() : nullptr,
                                          headers ? static_cast<::DWORD>(headers->size()) : 0, flags, context);
    if (!handle) {
        SetError(error);
        return handle;
    }
    Reading reading;
    reading.deadline = deadline;
    reading.stall = timeouts.stall;
    ::DWORD type = 0;
    ::DWORD typeSize = sizeof type;
    reading.bare = ::InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &typeSize) &&
                   type == INTERNET_HANDLE_TYPE_HTTP_REQUEST && HasNoHeaderFields(handle);
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
    ::DWORD error = 0;
    ::DWORD length = 0;
    if (::InternetGetLastResponseInfoA(&error, nullptr, &length) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<char> buffer(length + 1, '\0');
    length = static_cast<::DWORD>(buffer.size());
    if (!::InternetGetLastResponseInfoA(&error, buffer.data(), &length)) return {};
    return std::string(buffer.data());
}

}  // namespace orvane
