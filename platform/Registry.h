// The per-user registry: a persistent tree of keys holding typed values.
//
// The operations and their results follow the Windows registry API, so the Windows layer is a thin
// pass-through to ADVAPI32. Other platforms keep the same tree in a file of their own.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace orvane {

// An open key. Null is no key. Predefined roots are small non-null values.
using HKEY = std::uintptr_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_SHARING_VIOLATION = 32;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;

class IRegistry {
public:
    virtual ~IRegistry() = default;

    // Every operation returns ERROR_SUCCESS (0) or a non-zero error code. Key names are single
    // path components compared without regard to ASCII case. Handles returned in `result` must be
    // closed with RegCloseKey; closing a predefined root does nothing.

    // Opens an existing subkey of `key`; ERROR_FILE_NOT_FOUND when it is missing.
    virtual LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) = 0;

    // Opens the subkey of `key`, creating it (persistently) when it is missing.
    virtual LONG RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) = 0;

    // Reads a value. `type` (may be null) receives its type. With `data` null, `*size` receives the
    // size of the data and the result is ERROR_SUCCESS. With `data` given, `*size` is the buffer's
    // size on entry: the data is copied and `*size` becomes its size; a buffer that is too small
    // gives ERROR_MORE_DATA with `*size` set to the size needed. A missing value gives
    // ERROR_FILE_NOT_FOUND.
    virtual LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, BYTE* data, DWORD* size) = 0;

    // Stores a value with the given type and bytes, creating it or replacing a value of any type.
    virtual LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const BYTE* data, DWORD size) = 0;

    virtual LONG RegCloseKey(HKEY key) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IRegistry";
};

// Answers a RegQueryValueEx for a value of `valueType` holding `bytes`, by the rules above: the
// size alone when `data` is null, ERROR_MORE_DATA with the size needed when the buffer is too small.
// For registry keepers that hold their values in memory.
inline LONG AnswerValueQuery(DWORD valueType, const std::vector<BYTE>& bytes, DWORD* type, BYTE* data, DWORD* size) {
    const auto needed = static_cast<DWORD>(bytes.size());
    if (type != nullptr) *type = valueType;
    if (data == nullptr) {
        if (size != nullptr) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed != 0) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

}  // namespace orvane
