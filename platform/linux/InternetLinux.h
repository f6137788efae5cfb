// Pieces of the Linux Internet layer (libcurl) that its files share and that its tests reach.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/Internet.h"
#include "platform/InternetTimeouts.h"
#include "platform/Types.h"

namespace orvane::inet {

// WinINet codes that only this layer produces; the portable code knows them only as numbers.
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
// A reply whose header is larger than libcurl takes. WinINet has no code of its own for it; this is
// the number WinHTTP gives it.
inline constexpr DWORD ERROR_HTTP_HEADER_SIZE_OVERFLOW = 12182;
// System codes that this layer produces.
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;

// Access types of InternetOpen besides INTERNET_OPEN_TYPE_PRECONFIG.
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY = 4;

// No certificate check result is known.
inline constexpr long kNoVerifyResult = -1;

// The WinINet code for a libcurl result. `osErrno` is the socket error libcurl saw (0 when none);
// `verifyResult` is the TLS library's verdict on the server's certificate chain (an X509_V_* code,
// 0 when the chain was sound), which tells a refused certificate's reason.
DWORD ErrorFromCurl(int curlCode, long osErrno, bool redirected, long verifyResult = kNoVerifyResult);

// Whether following a redirect from `fromUrl` to `location` would leave a secure connection for a
// plain one, which WinINet refuses unless asked to allow it.
bool RedirectLeavesTls(const std::string& fromUrl, const std::string& location);

// This layer's text for `code` (ending in CR LF); nullopt for codes it never produces.
std::optional<std::string> ErrorText(DWORD code);

// InternetCanonicalizeUrl and InternetCrackUrl, done by hand: libcurl's URL parser knows neither
// the opaque schemes (news:, mailto:) nor WinINet's idea of a file URL's path.
std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error);
std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error);

// The certificate authorities that the next InternetOpenUrl trusts, as a file of PEM certificates,
// in place of the system's bundle; empty for the system's. Tests trust an authority of their own
// this way; the program never sets it.
void SetTrustedCertificates(const std::string& pemFile);

// The bytes that an open URL handle holds in memory, read or not; 0 for any other handle.
std::size_t HeldBytes(HINTERNET request);

// IInternet::OpenLocalFile: fopen, with the Windows code for errno. The C library opens a folder as
// a file and fails only at the first read; Windows refuses the open itself, which is where the
// failure belongs.
std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error);

}  // namespace orvane::inet
