// The Windows system error code (ERROR_*) for a C library errno value, so that a failed file
// operation reads alike on every platform. Shared by the portable failure objects and the platform
// layers that report errors in Windows' terms.
#pragma once

#include <cerrno>

#include "platform/Types.h"

namespace orvane {

// 0 for 0; for values without a counterpart a code that the file-failure table does not know.
inline LONG WindowsErrorFromErrno(int errnoValue) {
    switch (errnoValue) {
        case 0: return 0;
        case ENOENT: return 2;        // ERROR_FILE_NOT_FOUND
        case ENOTDIR: return 3;       // ERROR_PATH_NOT_FOUND: a directory of the path is a file
        case ENAMETOOLONG: return 3;  // ERROR_PATH_NOT_FOUND, as Windows answers for an overlong path
        case ELOOP: return 3;         // ERROR_PATH_NOT_FOUND: the path cannot be followed
        case EMFILE: return 4;        // ERROR_TOO_MANY_OPEN_FILES
        case ENFILE: return 4;
        case EACCES: return 5;        // ERROR_ACCESS_DENIED
        case EPERM: return 5;
        case EROFS: return 5;
        case EISDIR: return 5;        // Windows refuses to open a directory as a file with this code
        case EBADF: return 6;         // ERROR_INVALID_HANDLE
        case EBUSY: return 32;        // ERROR_SHARING_VIOLATION
        case ETXTBSY: return 32;
        case EDEADLK: return 33;      // ERROR_LOCK_VIOLATION
        case ENOLCK: return 33;
        case EIO: return 23;          // ERROR_CRC, the usual report of an unreadable medium
        case ENXIO: return 55;        // ERROR_DEV_NOT_EXIST
        case ENODEV: return 55;
        case EEXIST: return 80;       // ERROR_FILE_EXISTS
        case ENOSPC: return 112;      // ERROR_DISK_FULL
        case EFBIG: return 112;
        case ESPIPE: return 132;      // ERROR_SEEK_ON_DEVICE
        case ENOMEM: return 8;        // ERROR_NOT_ENOUGH_MEMORY
        case EINVAL: return 87;       // ERROR_INVALID_PARAMETER
        default: return 31;           // ERROR_GEN_FAILURE
    }
}

}  // namespace orvane
