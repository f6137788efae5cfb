// The program's string table on Windows: the resources linked into the executable.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

std::optional<std::string> CWin32Resources::LoadString(UINT id) {
    const HINSTANCE module = ::GetModuleHandleA(nullptr);
    // With a buffer size of 0, LoadStringW hands out a pointer into the table and the length,
    // which sizes the buffer for LoadStringA (a character of a double-byte code page takes two).
    // A string table stores a missing string and an empty one alike, as length 0.
    const wchar_t* inTable = nullptr;
    const int wideLength = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&inTable), 0);
    if (wideLength <= 0) return std::nullopt;
    std::string text(static_cast<std::size_t>(wideLength) * 2 + 1, '\0');
    const int length = ::LoadStringA(module, id, text.data(), static_cast<int>(text.size()));
    if (length <= 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace orvane
