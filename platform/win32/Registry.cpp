// The per-user registry on Windows: a pass-through to ADVAPI32.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

namespace {

// Our HKEY_CURRENT_USER is 0x80000001 as an unsigned number; Windows' is the same 32 bits taken as
// a signed LONG, which a 64-bit HKEY holds sign-extended (0xFFFFFFFF80000001). Opened keys are
// passed as they are.
::HKEY ToNative(HKEY key) {
    if (key == HKEY_CURRENT_USER) return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(static_cast<::LONG>(0x80000001)));
    return reinterpret_cast<::HKEY>(key);
}

HKEY FromNative(::HKEY key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

LONG CWin32Registry::RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) {
    ::HKEY opened = nullptr;
    const ::LONG status = ::RegOpenKeyExA(ToNative(key), subKey.c_str(), 0, access, &opened);
    *result = status == ERROR_SUCCESS ? FromNative(opened) : 0;
    return status;
}

LONG CWin32Registry::RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) {
    ::HKEY opened = nullptr;
    const ::LONG status = ::RegCreateKeyExA(ToNative(key), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            access, nullptr, &opened, nullptr);
    *result = status == ERROR_SUCCESS ? FromNative(opened) : 0;
    return status;
}

LONG CWin32Registry::RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, BYTE* data, DWORD* size) {
    ::DWORD nativeType = 0;
    ::DWORD nativeSize = size ? *size : 0;
    const ::LONG status = ::RegQueryValueExA(ToNative(key), valueName.c_str(), nullptr, &nativeType, data,
                                             size ? &nativeSize : nullptr);
    if (type) *type = static_cast<DWORD>(nativeType);
    if (size) *size = static_cast<DWORD>(nativeSize);
    return status;
}

LONG CWin32Registry::RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const BYTE* data, DWORD size) {
    return ::RegSetValueExA(ToNative(key), valueName.c_str(), 0, type, data, size);
}

LONG CWin32Registry::RegCloseKey(HKEY key) { return ::RegCloseKey(ToNative(key)); }

}  // namespace orvane
