// An Internet library that refuses to open a session, as a system without working Internet access
// can; every other call goes to the real library.
#pragma once

#include <optional>
#include <string>

#include "platform/Internet.h"

namespace orvane::test {

class SessionRefusingInternet : public IInternet {
public:
    explicit SessionRefusingInternet(IInternet& library) : real(library) {}

    HINTERNET InternetOpen(const std::string&, DWORD, const std::string*, const std::string*, DWORD,
                           DWORD* error) override {
        ++opens;
        *error = refusal;
        return nullptr;
    }
    HINTERNET InternetOpenUrl(HINTERNET session, const std::string& url, const std::string* headers, DWORD flags,
                              DWORD context, DWORD* error) override {
        ++urlOpens;
        return real.InternetOpenUrl(session, url, headers, flags, context, error);
    }
    std::optional<DWORD> QueryHandleType(HINTERNET handle) override { return real.QueryHandleType(handle); }
    bool InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) override {
        return real.InternetReadFile(handle, buffer, size, read, error);
    }
    bool InternetCloseHandle(HINTERNET handle) override { return real.InternetCloseHandle(handle); }
    std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error) override {
        return real.CanonicalizeUrl(url, flags, error);
    }
    std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error) override { return real.CrackUrl(url, error); }
    std::optional<std::string> ErrorText(DWORD code) override { return real.ErrorText(code); }
    std::string LastResponseInfo() override { return real.LastResponseInfo(); }
    std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error) override {
        return real.OpenLocalFile(path, binary, error);
    }

    IInternet& real;
    DWORD refusal = ERROR_INTERNET_INTERNAL_ERROR;  // the error code of every refused session
    int opens = 0;
    int urlOpens = 0;
};

}  // namespace orvane::test
