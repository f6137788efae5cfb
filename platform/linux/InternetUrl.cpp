// Canonical form of a URL and its parts (scheme, host, path), as WinINet gives them.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/linux/InternetLinux.h"

namespace orvane::inet {

namespace {

bool IsSchemeChar(char c, bool first) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) return true;
    return !first && (std::isdigit(u) || c == '+' || c == '-' || c == '.');
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The length of the scheme name before its colon; 0 when the URL has none. A single letter is a
// Windows drive ("C:\x"), not a scheme.
std::size_t SchemeLength(std::string_view url) {
    std::size_t n = 0;
    while (n < url.size() && IsSchemeChar(url[n], n == 0)) ++n;
    return n >= 2 && n < url.size() && url[n] == ':' ? n : 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Escapes what a browser escapes in a path: blanks, controls, 8-bit bytes and the characters that
// cannot stand in a URL. A '%' is left alone, so an escaped URL stays as it is.
std::string EscapePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '"' || c == '<' || c == '>') {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// Removes "." and ".." segments, as WinINet does unless asked not to.
std::string RemoveDotSegments(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(start, end - start);
        const bool last = end == path.size();
        if (segment == ".") {
            if (last) out += '/';
        } else if (segment == "..") {
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
            if (last) out += '/';
        } else if (start > 0 || !segment.empty()) {
            if (start > 0) out += '/';
            out += segment;
        }
        start = end + 1;
    }
    if (!path.empty() && path.front() == '/' && (out.empty() || out.front() != '/')) out.insert(0, "/");
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

UrlScheme SchemeOf(std::string_view name) {
    if (name == "http") return UrlScheme::Http;
    if (name == "https") return UrlScheme::Https;
    if (name == "ftp") return UrlScheme::Ftp;
    if (name == "gopher") return UrlScheme::Gopher;
    if (name == "file") return UrlScheme::File;
    if (name == "news") return UrlScheme::News;
    if (name == "mailto") return UrlScheme::Mailto;
    return UrlScheme::Unknown;
}

std::nullopt_t Fail(DWORD* error, DWORD code) {
    if (error) *error = code;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD /*flags*/, DWORD* error) {
    // Browser mode (the only one the program asks for) leaves what follows '?' or '#' as it is.
    const std::string_view text = Trim(url);
    if (text.empty()) return Fail(error, ERROR_INTERNET_INVALID_URL);
    const std::size_t schemeLength = SchemeLength(text);
    if (schemeLength == 0) return Fail(error, ERROR_INTERNET_UNRECOGNIZED_SCHEME);

    const std::string scheme = Lower(text.substr(0, schemeLength));
    std::string_view rest = text.substr(schemeLength + 1);
    std::string out = scheme + ":";
    if (rest.substr(0, 2) != "//") {
        out += rest;  // an opaque URL (news:, mailto:) has no parts to tidy
        return out;
    }
    rest.remove_prefix(2);
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string authority(rest.substr(0, authorityEnd));
    // Host names are case-blind; the user name and password before '@' are not.
    const std::size_t at = authority.rfind('@');
    const std::size_t hostStart = at == std::string::npos ? 0 : at + 1;
    authority = authority.substr(0, hostStart) + Lower(std::string_view(authority).substr(hostStart));

    rest.remove_prefix(authorityEnd);
    const std::size_t pathEnd = std::min(rest.find_first_of("?#"), rest.size());
    std::string path = EscapePath(RemoveDotSegments(rest.substr(0, pathEnd)));
    if (path.empty() && SchemeOf(scheme) != UrlScheme::Unknown) path = "/";
    out += "//" + authority + path;
    out += rest.substr(pathEnd);
    return out;
}

std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error) {
    const std::string_view text = url;
    if (Trim(text).empty()) return Fail(error, ERROR_INTERNET_INVALID_URL);
    const std::size_t schemeLength = SchemeLength(text);
    if (schemeLength == 0) return Fail(error, ERROR_INTERNET_UNRECOGNIZED_SCHEME);

    CrackedUrl cracked;
    cracked.scheme = SchemeOf(Lower(text.substr(0, schemeLength)));
    std::string_view rest = text.substr(schemeLength + 1);
    if (rest.substr(0, 2) != "//") {
        cracked.urlPath = std::string(rest);
        return cracked;
    }
    rest.remove_prefix(2);
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view host = rest.substr(0, authorityEnd);
    const std::size_t at = host.rfind('@');
    if (at != std::string_view::npos) host.remove_prefix(at + 1);
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return Fail(error, ERROR_INTERNET_INVALID_URL);
        host = host.substr(1, close - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    cracked.hostName = std::string(host);
    // A file URL names a file of this machine: its path is a file name, not an escaped URL path.
    const std::string_view path = rest.substr(authorityEnd);
    cracked.urlPath = cracked.scheme == UrlScheme::File ? Unescape(path) : std::string(path);
    return cracked;
}

}  // namespace orvane::inet
