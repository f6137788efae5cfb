// The system clock on Windows: SetSystemTime with the privilege that it needs enabled around it.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

namespace {

// Since Windows 2000 the right to set the clock is a privilege that an administrator's token holds
// but has disabled; SetSystemTime fails with ERROR_PRIVILEGE_NOT_HELD (1314) until it is enabled.
// It is enabled for one set and then put back as it was, so that nothing else the process does
// runs with it. A token without it cannot enable it: AdjustTokenPrivileges then still succeeds,
// and only GetLastError (ERROR_NOT_ALL_ASSIGNED) tells.
class SystemTimePrivilege {
public:
    SystemTimePrivilege() {
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_)) {
            token_ = nullptr;
            return;
        }
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!::LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &privileges.Privileges[0].Luid)) return;
        ::DWORD size = 0;
        if (!::AdjustTokenPrivileges(token_, FALSE, &privileges, sizeof previous_, &previous_, &size)) return;
        enabled_ = ::GetLastError() == ERROR_SUCCESS;
    }
    ~SystemTimePrivilege() {
        // `previous_` names only what the enabling changed: nothing when the privilege was on already.
        if (enabled_) ::AdjustTokenPrivileges(token_, FALSE, &previous_, 0, nullptr, nullptr);
        if (token_) ::CloseHandle(token_);
    }
    SystemTimePrivilege(const SystemTimePrivilege&) = delete;
    SystemTimePrivilege& operator=(const SystemTimePrivilege&) = delete;

    bool Enabled() const { return enabled_; }

private:
    HANDLE token_ = nullptr;
    TOKEN_PRIVILEGES previous_{};
    bool enabled_ = false;
};

}  // namespace

bool CWin32Clock::SetSystemTime(const SYSTEMTIME& time) {
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
    bool set = false;
    ::DWORD error = ERROR_PRIVILEGE_NOT_HELD;  // what SetSystemTime itself answers without the privilege
    {
        const SystemTimePrivilege privilege;
        if (privilege.Enabled()) {
            set = ::SetSystemTime(&native) != FALSE;
            error = set ? ERROR_SUCCESS : ::GetLastError();
        }
    }
    ::SetLastError(error);  // the set's own, not that of putting the privilege back
    return set;
}

}  // namespace orvane
