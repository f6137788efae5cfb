// Pieces of the Linux Internet layer (libcurl) that its files share and that its tests reach.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/Internet.h"
#include "platform/Types.h"

namespace orvane::inet {

// WinINet codes that only this layer produces; the portable code knows them only as numbers.
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
// System codes that this layer produces.
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;

// Access types of InternetOpen besides INTERNET_OPEN_TYPE_PRECONFIG.
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY = 4;

// How long a URL may take. WinINet's own defaults are of this order; the program sets none itself.
struct Timeouts {
    std::chrono::milliseconds connect{30000};  // until the connection stands
    std::chrono::seconds stall{30};            // without a single byte arriving (whole seconds: libcurl)
    std::chrono::milliseconds total{60000};    // for the whole reply
};

// The time-outs that the next InternetOpenUrl uses. Tests shorten them so that a stalled server
// is given up in a second instead of half a minute; the program never changes them.
Timeouts CurrentTimeouts();
void SetTimeouts(const Timeouts& timeouts);

// The WinINet code for a libcurl result. `osErrno` is the socket error libcurl saw (0 when none).
DWORD ErrorFromCurl(int curlCode, long osErrno, bool redirected);

// This layer's text for `code` (ending in CR LF); nullopt for codes it never produces.
std::optional<std::string> ErrorText(DWORD code);

// InternetCanonicalizeUrl and InternetCrackUrl, done by hand: libcurl's URL parser knows neither
// the opaque schemes (news:, mailto:) nor WinINet's idea of a file URL's path.
std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error);
std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error);

// IInternet::OpenLocalFile: fopen, with the Windows code for errno. The C library opens a folder as
// a file and fails only at the first read; Windows refuses the open itself, which is where the
// failure belongs.
std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error);

}  // namespace orvane::inet
