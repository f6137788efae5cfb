// The Internet library: sessions, URL handles and their bytes, in the shape of WinINet.
//
// The Windows layer passes straight through to WININET.DLL. Other layers provide the same results
// and the same error codes (ERROR_INTERNET_*) for the same conditions, so the portable code and its
// failure texts behave alike everywhere.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/Types.h"

namespace orvane {

// An open session or URL. Null is no handle.
using HINTERNET = void*;

inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_FLAG_TRANSFER_ASCII = 0x00000001;
inline constexpr DWORD INTERNET_FLAG_TRANSFER_BINARY = 0x00000002;
inline constexpr DWORD INTERNET_FLAG_DONT_CACHE = 0x04000000;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD ICU_BROWSER_MODE = 0x02000000;

inline constexpr DWORD INTERNET_HANDLE_TYPE_FTP_FILE = 7;
inline constexpr DWORD INTERNET_HANDLE_TYPE_GOPHER_FILE = 11;
inline constexpr DWORD INTERNET_HANDLE_TYPE_HTTP_REQUEST = 13;

inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr DWORD ERROR_INTERNET_DECODING_FAILED = 12175;

// The service type of a URL's scheme.
enum class UrlScheme { Unknown, Ftp, Gopher, Http, Https, File, News, Mailto };

struct CrackedUrl {
    UrlScheme scheme = UrlScheme::Unknown;
    std::string hostName;
    std::string urlPath;
};

class IInternet {
public:
    virtual ~IInternet() = default;

    // Every operation that can fail returns null/false/nullopt and puts the error code (an
    // ERROR_INTERNET_* code or a system error code) in `*error`. Calls are synchronous.

    // Opens a session. `agent` is sent as the User-Agent of HTTP requests. With
    // INTERNET_OPEN_TYPE_PRECONFIG the system's configured direct or proxy access is used.
    virtual HINTERNET InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                                   const std::string* proxyBypass, DWORD flags, DWORD* error) = 0;

    // Opens `url` in `session` and returns once the server has answered. An http reply that starts
    // with a status line delivers the bytes after its headers whatever the status; one without a
    // status line (a bare daytime reply) delivers every byte the server sends until it closes; a
    // reset after its first byte ends it too, after its last complete line (the unfinished line that
    // the reset cut is not delivered), since a daytime server closes without reading the request.
    virtual HINTERNET InternetOpenUrl(HINTERNET session, const std::string& url, const std::string* headers,
                                      DWORD flags, DWORD context, DWORD* error) = 0;

    // The INTERNET_HANDLE_TYPE_* of an open URL handle; nullopt when it cannot be told.
    virtual std::optional<DWORD> QueryHandleType(HINTERNET handle) = 0;

    // Reads up to `size` bytes into `buffer`; `*read` becomes 0 at the end of the data. Blocks until
    // at least one byte has arrived or the data has ended; never waits to fill the whole buffer.
    virtual bool InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) = 0;

    // Closes a session or URL handle. Closing a session does not close URL handles opened in it.
    virtual bool InternetCloseHandle(HINTERNET handle) = 0;

    // Canonical form of `url` (ICU_BROWSER_MODE: escapes only what a browser would), or nullopt.
    virtual std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error) = 0;

    // Splits a canonical URL into scheme, host name and path; nullopt when it cannot be split.
    virtual std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error) = 0;

    // The library's text for `code`, or else the system's; nullopt when neither has one. Texts end
    // with CR LF, as the platform's message tables write them.
    virtual std::optional<std::string> ErrorText(DWORD code) = 0;

    // The text of the last response the server sent on this thread (for ERROR_INTERNET_EXTENDED_ERROR);
    // empty when there is none.
    virtual std::string LastResponseInfo() = 0;

    // Opens the local file of a file URL for reading, in binary mode or else text mode: the open C
    // stream, which the caller closes, or null with the system error code of the failed open in
    // `*error` (on Windows the open's own; elsewhere the Windows code for the C library's errno). A
    // folder is refused, as Windows refuses it, with ERROR_ACCESS_DENIED (5); so is anything else
    // that is not a plain file (a FIFO, a device), and the open never waits for one. A library
    // without local files answers ERROR_NOT_SUPPORTED (50).
    virtual std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error) {
        (void)path;
        (void)binary;
        if (error) *error = 50;
        return nullptr;
    }

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IInternet";
};

}  // namespace orvane
