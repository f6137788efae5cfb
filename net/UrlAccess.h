// URL access: the program's internet session, the streams that opening a URL gives, and reading
// their replies line by line.
//
// Calling order: construct a CInternetSession once; then any number of OpenUrl, each followed by
// ReadLine calls, CloseStream and deletion of the stream; finally delete the session. Everything
// runs on the calling thread and blocks it; the platform's Internet library sets the time-outs.
// Failures are raised as CInternetFailure (the library refused) or CFileFailure (a file URL).
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "net/InternetFailure.h"
#include "platform/Internet.h"
#include "platform/Types.h"

namespace orvane {

enum class UrlStreamKind { HttpResponse, FtpFile, GopherFile, LocalFile };

// What OpenUrl gives. The caller owns it; deleting a stream that is still open closes it first.
class CUrlStream {
public:
    virtual ~CUrlStream() = default;
    CUrlStream(const CUrlStream&) = delete;
    CUrlStream& operator=(const CUrlStream&) = delete;

    // Empties `line` and puts the next line in it without its line feed; carriage returns are
    // dropped wherever they stand. False (with an empty line) at the end of the data. A closed
    // stream is at its end.
    virtual bool ReadLine(std::string& line) = 0;

    // Releases the handle or file and the read buffer. A second call does nothing.
    virtual void CloseStream() = 0;

    virtual UrlStreamKind GetKind() const = 0;
    bool IsHttpResponse() const { return GetKind() == UrlStreamKind::HttpResponse; }

protected:
    CUrlStream() = default;
};

// The line reader shared by every stream: one read buffer, allocated at the first read, refilled
// by the stream's own `fill` whenever it is used up.
//
// A server that sends without end would otherwise keep the user-interface thread reading for ever
// and grow one line without limit, so no more than kMaxReplyBytes are ever taken from the source:
// past that the data counts as ended, after the last line that ended within the bound (a line cut
// by the bound is dropped). A line longer than the buffer still comes back whole, up to that bound.
class CLineReader {
public:
    static constexpr std::size_t kBufferSize = 4096;
    static constexpr std::size_t kMaxReplyBytes = std::size_t{1} << 20;

    // `fill(buffer, size)` reads at most `size` bytes and answers how many it read, 0 at the end of
    // the data; it raises its stream's failure itself.
    template <class Fill>
    bool ReadLine(std::string& line, Fill&& fill);

    // Frees the buffer; the next ReadLine allocates and fills a new one.
    void Reset();

private:
    template <class Fill>
    void Refill(Fill& fill);

    std::unique_ptr<char[]> m_buffer;
    std::size_t m_nPos = 0;
    std::size_t m_nCount = 0;
    std::size_t m_nTotal = 0;
};

// A URL opened through the Internet library: an HTTP response, an FTP file or a gopher file.
class CInternetStream : public CUrlStream {
public:
    // Takes ownership of `handle`.
    CInternetStream(HINTERNET handle, DWORD context, UrlStreamKind kind);
    ~CInternetStream() override;

    // A failed read raises CInternetFailure with the stream's context; the bytes already taken into
    // the line are lost. After the end of the data every call asks the library again.
    bool ReadLine(std::string& line) override;
    void CloseStream() override;
    UrlStreamKind GetKind() const override { return m_kind; }

    HINTERNET GetHandle() const { return m_hFile; }
    DWORD GetContext() const { return m_dwContext; }

private:
    HINTERNET m_hFile;
    DWORD m_dwContext;
    UrlStreamKind m_kind;
    CLineReader m_reader;
};

// A file URL's file, opened read-only on this machine; no Internet handle is involved.
class CLocalFileStream : public CUrlStream {
public:
    // Opens `path` in text mode, or binary mode when `binary`; raises CFileFailure when it cannot.
    CLocalFileStream(const std::string& path, bool binary);
    ~CLocalFileStream() override;

    // A failed read raises CFileFailure.
    bool ReadLine(std::string& line) override;
    void CloseStream() override;
    UrlStreamKind GetKind() const override { return UrlStreamKind::LocalFile; }

    const std::string& GetFilePath() const { return m_strPath; }

private:
    std::FILE* m_pFile;
    std::string m_strPath;
    CLineReader m_reader;
};

// The program's one internet session.
class CInternetSession {
public:
    // OpenSession. A null `agent` stands for the application name; it is sent as the User-Agent of
    // HTTP requests. Raises CInternetFailure (with context 1) when the library refuses the session.
    explicit CInternetSession(const std::string* agent = nullptr, DWORD context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG, const std::string* proxy = nullptr,
                              const std::string* proxyBypass = nullptr, DWORD flags = 0);
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Opens `url` (passed to the library as given, even when empty) and answers its stream, or null
    // for a URL whose scheme or opened handle has no stream kind (news, mailto, unknown). A context
    // of 1 stands for the session's own. `headers` (null: none) are sent with an HTTP request.
    // Raises CInternetFailure when the library cannot open the URL, CFileFailure when a file URL's
    // file cannot be opened.
    std::unique_ptr<CUrlStream> OpenUrl(const std::string& url, DWORD context = 1,
                                        DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                                        const std::string* headers = nullptr);

    // Closes the session's handle, when one is held.
    void CloseSession();

    HINTERNET GetHandle() const { return m_hSession; }
    DWORD GetContext() const { return m_dwContext; }

private:
    HINTERNET m_hSession = nullptr;
    DWORD m_dwContext;
};

template <class Fill>
void CLineReader::Refill(Fill& fill) {
    m_nPos = 0;
    m_nCount = 0;
    if (m_nTotal >= kMaxReplyBytes) return;  // the bound is reached: as if the data had ended
    const std::size_t want = kMaxReplyBytes - m_nTotal < kBufferSize ? kMaxReplyBytes - m_nTotal : kBufferSize;
    const std::size_t got = fill(m_buffer.get(), want);
    m_nCount = got < want ? got : want;
    m_nTotal += m_nCount;
}

template <class Fill>
bool CLineReader::ReadLine(std::string& line, Fill&& fill) {
    line.clear();
    if (!m_buffer) {
        m_buffer = std::make_unique<char[]>(kBufferSize);
        Refill(fill);
    }
    for (;;) {
        if (m_nPos >= m_nCount) {
            Refill(fill);
            if (m_nCount == 0) {
                // A line that the bound cut is not a line the server sent: it is dropped, so that a
                // record cut short never reaches the caller.
                if (m_nTotal >= kMaxReplyBytes) line.clear();
                return !line.empty();
            }
        }
        const char c = m_buffer[m_nPos++];
        if (c == '\r') continue;
        if (c == '\n') return true;
        line.push_back(c);
    }
}

}  // namespace orvane
