// The system clock on Windows: SetSystemTime with the privilege that it needs enabled first.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

namespace {

// Since Windows 2000 the right to set the clock is a privilege that an administrator's token holds
// but has disabled; SetSystemTime fails with ERROR_PRIVILEGE_NOT_HELD (1314) until it is enabled.
// A token without the privilege cannot enable it, and SetSystemTime then refuses as it should.
void EnableSystemTimePrivilege() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &privileges.Privileges[0].Luid))
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    ::CloseHandle(token);
}

}  // namespace

bool CWin32Clock::SetSystemTime(const SYSTEMTIME& time) {
    EnableSystemTimePrivilege();
    // Windows checks the fields itself (SystemTimeToFileTime) and refuses an impossible date
    // with ERROR_INVALID_PARAMETER instead of normalising it. Wine 8 also refuses any time more
    // than half a second away from the host's clock, which it never changes.
    ::SYSTEMTIME native{};
    native.wYear = time.wYear;
    native.wMonth = time.wMonth;
    native.wDayOfWeek = time.wDayOfWeek;
    native.wDay = time.wDay;
    native.wHour = time.wHour;
    native.wMinute = time.wMinute;
    native.wSecond = time.wSecond;
    native.wMilliseconds = time.wMilliseconds;
    return ::SetSystemTime(&native) != FALSE;
}

}  // namespace orvane
