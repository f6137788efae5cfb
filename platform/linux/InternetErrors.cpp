// WinINet error codes for libcurl's results, and this layer's texts for them.
#include <cctype>
#include <cerrno>

#include <curl/curl.h>

#include "platform/linux/InternetLinux.h"

namespace orvane::inet {

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// OpenSSL's X509_V_ERR_* codes that name a certificate's dates or its host.
constexpr long kUnspecified = 1;
constexpr long kCertNotYetValid = 9;
constexpr long kCertHasExpired = 10;
constexpr long kErrorInNotBefore = 13;
constexpr long kErrorInNotAfter = 14;
constexpr long kHostNameMismatch = 62;
constexpr long kIpAddressMismatch = 64;

DWORD CertificateError(long verifyResult) {
    switch (verifyResult) {
        case kCertNotYetValid:
        case kCertHasExpired:
        case kErrorInNotBefore:
        case kErrorInNotAfter: return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
        // A sound chain that libcurl still refused: its own host-name check failed. libcurl 7.88
        // checks the name before it takes the chain's verdict, so the result is still the "not
        // verified" value it starts with (1).
        case 0:
        case kUnspecified:
        case kHostNameMismatch:
        case kIpAddressMismatch: return ERROR_INTERNET_SEC_CERT_CN_INVALID;
        default: return ERROR_INTERNET_INVALID_CA;
    }
}

}  // namespace

bool RedirectLeavesTls(const std::string& fromUrl, const std::string& location) {
    std::size_t start = 0;
    while (start < location.size() && (location[start] == ' ' || location[start] == '\t')) ++start;
    return StartsWithNoCase(fromUrl, "https:") && StartsWithNoCase(location.substr(start), "http:");
}

DWORD ErrorFromCurl(int curlCode, long osErrno, bool redirected, long verifyResult) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
        case CURLE_GOT_NOTHING: return 0;
        case CURLE_UNSUPPORTED_PROTOCOL:
            // A redirect to a scheme outside the allowed ones fails here, not at the first URL.
            return redirected ? ERROR_HTTP_REDIRECT_FAILED : ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST: return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
        case CURLE_PROXY: return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_HTTP3: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
        case CURLE_PARTIAL_FILE: return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return osErrno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET : ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_TOO_MANY_REDIRECTS: return ERROR_HTTP_REDIRECT_FAILED;
        case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
        case CURLE_BAD_CONTENT_ENCODING: return ERROR_INTERNET_DECODING_FAILED;
        case CURLE_PEER_FAILED_VERIFICATION: return CertificateError(verifyResult);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT:
        case CURLE_USE_SSL_FAILED: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        // An FTP server's refusals: WinINet reports them as an extended error whose text is the
        // server's own answer.
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_WEIRD_PASS_REPLY:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_QUOTE_ERROR:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_COULDNT_USE_REST:
        case CURLE_FTP_PRET_FAILED:
        case CURLE_FTP_BAD_FILE_LIST:
        case CURLE_LOGIN_DENIED:
        case CURLE_REMOTE_FILE_NOT_FOUND: return ERROR_INTERNET_EXTENDED_ERROR;
        default: return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

std::optional<std::string> ErrorText(DWORD code) {
    switch (code) {
        case ERROR_INVALID_HANDLE: return "The handle is invalid.\r\n";
        case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory is available to complete this operation.\r\n";
        case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.\r\n";
        case ERROR_INTERNET_OUT_OF_HANDLES: return "No more Internet handles could be opened.\r\n";
        case ERROR_INTERNET_TIMEOUT: return "The operation timed out.\r\n";
        case ERROR_INTERNET_EXTENDED_ERROR: return "The server reported an error.\r\n";
        case ERROR_INTERNET_INTERNAL_ERROR: return "An internal error occurred in the Internet library.\r\n";
        case ERROR_INTERNET_INVALID_URL: return "The URL is invalid.\r\n";
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "The URL does not use a recognized protocol.\r\n";
        case ERROR_INTERNET_NAME_NOT_RESOLVED: return "The server name or address could not be resolved.\r\n";
        case ERROR_INTERNET_CANNOT_CONNECT: return "A connection with the server could not be established.\r\n";
        case ERROR_INTERNET_CONNECTION_ABORTED:
            return "The connection with the server was terminated abnormally.\r\n";
        case ERROR_INTERNET_CONNECTION_RESET: return "The connection with the server was reset.\r\n";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return "The server's certificate has expired or is not yet valid.\r\n";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return "The server's certificate was issued for another host name.\r\n";
        case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
            return "The server redirected the request from a secure connection to one that is not secure.\r\n";
        case ERROR_INTERNET_INVALID_CA:
            return "The server's certificate was issued by an authority that is not trusted.\r\n";
        case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "The server returned an invalid or unrecognized response.\r\n";
        case ERROR_HTTP_HEADER_SIZE_OVERFLOW: return "The server's reply has a header larger than the Internet library accepts.\r\n";
        case ERROR_HTTP_REDIRECT_FAILED:
            return "The redirection failed: there were too many, or one led to a protocol that is not allowed.\r\n";
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return "A secure connection with the server could not be established.\r\n";
        case ERROR_INTERNET_DECODING_FAILED: return "The content that the server sent could not be decoded.\r\n";
        default: return std::nullopt;
    }
}

}  // namespace orvane::inet
