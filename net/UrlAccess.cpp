// The internet session, opening URLs, and the streams that read their replies.
#include "net/UrlAccess.h"

#include <cerrno>
#include <optional>

#include "app/AppNames.h"
#include "platform/Seam.h"

namespace orvane {

namespace {

// The size of the buffers that the Windows library is given for a URL and for its parts; a part
// that does not fit leaves the URL unsplit.
constexpr std::size_t kUrlBufferChars = 2058;

std::optional<CrackedUrl> SplitUrl(IInternet& internet, const std::string& url) {
    DWORD error = 0;
    const std::optional<std::string> canonical = internet.CanonicalizeUrl(url, ICU_BROWSER_MODE, &error);
    if (!canonical) return std::nullopt;
    std::optional<CrackedUrl> cracked = internet.CrackUrl(*canonical, &error);
    if (!cracked) return std::nullopt;
    if (cracked->hostName.size() >= kUrlBufferChars || cracked->urlPath.size() >= kUrlBufferChars) return std::nullopt;
    return cracked;
}

std::optional<UrlStreamKind> KindOfScheme(UrlScheme scheme) {
    switch (scheme) {
        case UrlScheme::Http:
        case UrlScheme::Https: return UrlStreamKind::HttpResponse;
        case UrlScheme::Ftp: return UrlStreamKind::FtpFile;
        case UrlScheme::Gopher: return UrlStreamKind::GopherFile;
        default: return std::nullopt;
    }
}

std::optional<UrlStreamKind> KindOfHandleType(std::optional<DWORD> type) {
    if (!type) return std::nullopt;
    switch (*type) {
        case INTERNET_HANDLE_TYPE_HTTP_REQUEST: return UrlStreamKind::HttpResponse;
        case INTERNET_HANDLE_TYPE_FTP_FILE: return UrlStreamKind::FtpFile;
        case INTERNET_HANDLE_TYPE_GOPHER_FILE: return UrlStreamKind::GopherFile;
        default: return std::nullopt;
    }
}

}  // namespace

void CLineReader::Reset() {
    m_buffer.reset();
    m_nPos = 0;
    m_nCount = 0;
}

// --- CInternetStream ---------------------------------------------------------------------------

CInternetStream::CInternetStream(HINTERNET handle, DWORD context, UrlStreamKind kind)
    : m_hFile(handle), m_dwContext(context), m_kind(kind) {}

CInternetStream::~CInternetStream() { CloseStream(); }

bool CInternetStream::ReadLine(std::string& line) {
    if (!m_hFile) {
        line.clear();
        return false;
    }
    return m_reader.ReadLine(line, [&](char* buffer, std::size_t size) -> std::size_t {
        DWORD read = 0;
        DWORD error = 0;
        if (!Seam<IInternet>::Get().InternetReadFile(m_hFile, buffer, static_cast<DWORD>(size), &read, &error)) {
            line.clear();
            throw CInternetFailure(error, m_dwContext);
        }
        return read;
    });
}

void CInternetStream::CloseStream() {
    if (!m_hFile) return;
    Seam<IInternet>::Get().InternetCloseHandle(m_hFile);
    m_hFile = nullptr;
    m_reader.Reset();
}

// --- CLocalFileStream --------------------------------------------------------------------------

CLocalFileStream::CLocalFileStream(const std::string& path, bool binary) : m_pFile(nullptr), m_strPath(path) {
    // The cause comes from the system's error code of the failed open (a missing folder, a sharing
    // or lock violation), which the platform's Internet library reports.
    DWORD error = 0;
    m_pFile = Seam<IInternet>::Get().OpenLocalFile(path, binary, &error);
    if (!m_pFile) {
        const LONG osError = static_cast<LONG>(error);
        throw CFileFailure(CFileFailure::CauseFromOsError(osError), osError, path);
    }
}

CLocalFileStream::~CLocalFileStream() { CloseStream(); }

bool CLocalFileStream::ReadLine(std::string& line) {
    if (!m_pFile) {
        line.clear();
        return false;
    }
    return m_reader.ReadLine(line, [&](char* buffer, std::size_t size) -> std::size_t {
        const std::size_t read = std::fread(buffer, 1, size, m_pFile);
        if (read == 0 && std::ferror(m_pFile)) {
            const int error = errno;
            std::clearerr(m_pFile);
            line.clear();
            throw CFileFailure::FromErrno(error, m_strPath);
        }
        return read;
    });
}

void CLocalFileStream::CloseStream() {
    if (!m_pFile) return;
    std::fclose(m_pFile);
    m_pFile = nullptr;
    m_reader.Reset();
}

// --- CInternetSession --------------------------------------------------------------------------

CInternetSession::CInternetSession(const std::string* agent, DWORD context, DWORD accessType,
                                   const std::string* proxy, const std::string* proxyBypass, DWORD flags)
    : m_dwContext(context) {
    DWORD error = 0;
    m_hSession = Seam<IInternet>::Get().InternetOpen(agent ? *agent : ApplicationName(), accessType, proxy,
                                                     proxyBypass, flags, &error);
    if (!m_hSession) throw CInternetFailure(error, m_dwContext);
}

CInternetSession::~CInternetSession() { CloseSession(); }

void CInternetSession::CloseSession() {
    if (!m_hSession) return;
    Seam<IInternet>::Get().InternetCloseHandle(m_hSession);
    m_hSession = nullptr;
}

std::unique_ptr<CUrlStream> CInternetSession::OpenUrl(const std::string& url, DWORD context, DWORD flags,
                                                      const std::string* headers) {
    if (context == 1) context = m_dwContext;
    IInternet& internet = Seam<IInternet>::Get();

    const std::optional<CrackedUrl> split = SplitUrl(internet, url);
    if (split && split->scheme == UrlScheme::File) {
        return std::make_unique<CLocalFileStream>(split->urlPath, (flags & INTERNET_FLAG_TRANSFER_BINARY) != 0);
    }

    DWORD error = 0;
    const HINTERNET handle = internet.InternetOpenUrl(m_hSession, url, headers, flags, context, &error);
    if (!handle) throw CInternetFailure(error, m_dwContext);

    const std::optional<UrlStreamKind> kind =
        split ? KindOfScheme(split->scheme) : KindOfHandleType(internet.QueryHandleType(handle));
    if (!kind) {
        internet.InternetCloseHandle(handle);
        return nullptr;
    }
    // Should making the stream run out of memory, the handle must not stay open behind the failure.
    try {
        return std::make_unique<CInternetStream>(handle, context, *kind);
    } catch (...) {
        internet.InternetCloseHandle(handle);
        throw;
    }
}

}  // namespace orvane
