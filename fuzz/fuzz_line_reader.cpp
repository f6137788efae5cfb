// libFuzzer target: reading a reply line by line over any chunking the network may give it.
//
// The input is
//     byte 0         how the reply ends: bit 0 set: the connection breaks after the reply instead of
//                    closing cleanly
//     byte 1         n, the number of chunk sizes that follow (taken modulo 16, at least 1)
//     n bytes        the sizes of successive reads, 1 to 255, cycled; 0 stands for "as much as asked"
//     the rest       the bytes the server sends
// A stream over an Internet library double that hands the reply out in those chunks must give back
// exactly the reply's lines (carriage returns dropped), raise the broken connection as an Internet
// failure, and close its handle once. Endless replies, and the bound on what is taken of them, are
// left to the tests: each such run would read a whole mebibyte byte by byte, and the fuzzer would
// spend its time on little else.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/UrlAccess.h"
#include "platform/Internet.h"
#include "platform/Seam.h"

namespace orvane {
namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

class ChunkedInternet : public IInternet {
public:
    ChunkedInternet(std::string_view reply, std::vector<std::size_t> chunks, bool breaks)
        : reply_(reply), chunks_(std::move(chunks)), breaks_(breaks) {}

    bool InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) override {
        if (handle != &token || closes > 0) Fail("read from a handle that is not open");
        if (size == 0 || size > CLineReader::kBufferSize) Fail("asked for more than the read buffer holds");
        *read = 0;
        if (delivered == reply_.size()) {
            if (breaks_) {
                *error = ERROR_INTERNET_CONNECTION_RESET;
                return false;
            }
            return true;
        }
        const std::size_t chunk = chunks_[nextChunk_++ % chunks_.size()];
        const std::size_t count = std::min({static_cast<std::size_t>(size), chunk == 0 ? size : chunk,
                                            reply_.size() - delivered});
        std::memcpy(buffer, reply_.data() + delivered, count);
        delivered += count;
        *read = static_cast<DWORD>(count);
        return true;
    }

    bool InternetCloseHandle(HINTERNET handle) override {
        if (handle != &token) Fail("closed a handle that was never opened");
        ++closes;
        return true;
    }

    // The stream needs nothing else of the library.
    HINTERNET InternetOpen(const std::string&, DWORD, const std::string*, const std::string*, DWORD, DWORD*) override {
        Fail("InternetOpen");
    }
    HINTERNET InternetOpenUrl(HINTERNET, const std::string&, const std::string*, DWORD, DWORD, DWORD*) override {
        Fail("InternetOpenUrl");
    }
    std::optional<DWORD> QueryHandleType(HINTERNET) override { Fail("QueryHandleType"); }
    std::optional<std::string> CanonicalizeUrl(const std::string&, DWORD, DWORD*) override { Fail("CanonicalizeUrl"); }
    std::optional<CrackedUrl> CrackUrl(const std::string&, DWORD*) override { Fail("CrackUrl"); }
    std::optional<std::string> ErrorText(DWORD) override { Fail("ErrorText"); }
    std::string LastResponseInfo() override { Fail("LastResponseInfo"); }

    int token = 0;
    std::size_t delivered = 0;
    int closes = 0;

private:
    std::string_view reply_;
    std::vector<std::size_t> chunks_;
    std::size_t nextChunk_ = 0;
    bool breaks_;
};

struct Expected {
    std::vector<std::string> lines;
    bool failure = false;
};

// What the reader must make of the reply: every line ended by LF, CR dropped anywhere; the unended
// rest is a last line when it holds a byte, unless the connection broke there.
Expected Split(std::string_view reply, bool breaks) {
    Expected expected;
    std::string line;
    for (const char c : reply) {
        if (c == '\r') continue;
        if (c == '\n') {
            expected.lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (breaks) {
        expected.failure = true;
    } else if (!line.empty()) {
        expected.lines.push_back(line);
    }
    return expected;
}

}  // namespace
}  // namespace orvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvane;
    if (size < 2) return 0;
    const bool breaks = (data[0] & 1) != 0;
    std::size_t count = data[1] % 16;
    if (count == 0) count = 1;
    if (size < 2 + count) return 0;
    std::vector<std::size_t> chunks(data + 2, data + 2 + count);
    const std::string_view reply(reinterpret_cast<const char*>(data + 2 + count), size - 2 - count);

    ChunkedInternet internet(reply, chunks, breaks);
    const ScopedSeam<IInternet> seam(internet);
    const Expected expected = Split(reply, breaks);

    std::vector<std::string> lines;
    bool failed = false;
    {
        CInternetStream stream(&internet.token, 7, UrlStreamKind::HttpResponse);
        std::string line = "left over";
        try {
            while (stream.ReadLine(line)) lines.push_back(line);
            if (!line.empty()) Fail("the end of the data came with a line");
            if (stream.ReadLine(line) || !line.empty()) Fail("a read after the end gave a line");
        } catch (const CInternetFailure& failure) {
            if (failure.GetErrorCode() != ERROR_INTERNET_CONNECTION_RESET || failure.GetContext() != 7) {
                Fail("the failure lost its code or the stream's context");
            }
            if (!line.empty()) Fail("the bytes before a failure stayed in the line");
            failed = true;
        }
        stream.CloseStream();
        stream.CloseStream();
        if (stream.ReadLine(line) || !line.empty()) Fail("a closed stream gave a line");
    }
    if (internet.closes != 1) Fail("the handle was not closed exactly once");
    if (failed != expected.failure) Fail("a broken connection went unreported, or a sound one failed");
    if (lines != expected.lines) Fail("the lines differ from the reply's");
    return 0;
}
