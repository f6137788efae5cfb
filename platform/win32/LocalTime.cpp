// The current local date and time as the user's locale writes it, through OLE Automation.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

namespace {

// VarBstrFromDate writes UTF-16; the program's texts are in the ANSI code page.
std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), size, nullptr, nullptr);
    return result;
}

}  // namespace

std::string CWin32LocalTime::CurrentDateTimeText() {
    ::SYSTEMTIME now{};
    ::GetLocalTime(&now);
    now.wMilliseconds = 0;
    // An OLE date holds every year from 100 to 9999, so no date of the clock falls outside it.
    DATE date = 0;
    if (!::SystemTimeToVariantTime(&now, &date)) return {};
    BSTR text = nullptr;
    if (FAILED(::VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &text)) || !text) return {};
    std::string result = Narrow(text, static_cast<int>(::SysStringLen(text)));
    ::SysFreeString(text);
    return result;
}

}  // namespace orvane
