// Texts of the Internet failure and the file failure, and the causes of failed file operations.
#include "net/InternetFailure.h"

#include <cerrno>
#include <utility>

#include "platform/Internet.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/SystemError.h"

namespace orvane {

bool CInternetFailure::GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const {
    if (helpContext) *helpContext = 0;
    IInternet& internet = Seam<IInternet>::Get();
    const std::optional<std::string> formatted = internet.ErrorText(m_dwError);
    std::string message = formatted.value_or(std::string());
    if (formatted && m_dwError == ERROR_INTERNET_EXTENDED_ERROR) {
        // The extended error's own text only says "see the server's response"; that response is the
        // message. A server that left none would give true without a text, so keep the code's text.
        std::string response = internet.LastResponseInfo();
        if (!response.empty()) message = std::move(response);
    }
    if (message.empty()) {
        text.clear();
        return false;
    }
    CopyErrorText(text, message, maxChars);
    return true;
}

CFileFailure::CFileFailure(int cause, LONG osError, std::string fileName)
    : m_cause(cause >= none && cause <= endOfFile ? cause : genericException),
      m_lOsError(osError),
      m_strFileName(std::move(fileName)) {}

CFileFailure CFileFailure::FromErrno(int errnoValue, std::string fileName) {
    const LONG osError = OsErrorFromErrno(errnoValue);
    return CFileFailure(CauseFromOsError(osError), osError, std::move(fileName));
}

int CFileFailure::CauseFromOsError(LONG osError) {
    struct Row {
        LONG osError;
        int cause;
    };
    // The classic file-exception table of the Windows class libraries, so that a failed open reads
    // the same as it always did there.
    static constexpr Row kTable[] = {
        {0, none},                    // NO_ERROR
        {2, fileNotFound},            // ERROR_FILE_NOT_FOUND
        {3, badPath},                 // ERROR_PATH_NOT_FOUND
        {4, tooManyOpenFiles},        // ERROR_TOO_MANY_OPEN_FILES
        {5, accessDenied},            // ERROR_ACCESS_DENIED
        {6, fileNotFound},            // ERROR_INVALID_HANDLE
        {11, invalidFile},            // ERROR_BAD_FORMAT
        {12, accessDenied},           // ERROR_INVALID_ACCESS
        {15, badPath},                // ERROR_INVALID_DRIVE
        {16, removeCurrentDir},       // ERROR_CURRENT_DIRECTORY
        {17, badPath},                // ERROR_NOT_SAME_DEVICE
        {18, fileNotFound},           // ERROR_NO_MORE_FILES
        {19, accessDenied},           // ERROR_WRITE_PROTECT
        {20, hardIO},                 // ERROR_BAD_UNIT
        {21, hardIO},                 // ERROR_NOT_READY
        {22, hardIO},                 // ERROR_BAD_COMMAND
        {23, hardIO},                 // ERROR_CRC
        {24, badSeek},                // ERROR_BAD_LENGTH
        {25, badSeek},                // ERROR_SEEK
        {26, invalidFile},            // ERROR_NOT_DOS_DISK
        {27, badSeek},                // ERROR_SECTOR_NOT_FOUND
        {29, accessDenied},           // ERROR_WRITE_FAULT
        {30, badSeek},                // ERROR_READ_FAULT
        {32, sharingViolation},       // ERROR_SHARING_VIOLATION
        {33, lockViolation},          // ERROR_LOCK_VIOLATION
        {34, badPath},                // ERROR_WRONG_DISK
        {36, tooManyOpenFiles},       // ERROR_SHARING_BUFFER_EXCEEDED
        {38, endOfFile},              // ERROR_HANDLE_EOF
        {39, diskFull},               // ERROR_HANDLE_DISK_FULL
        {52, badPath},                // ERROR_DUP_NAME
        {53, badPath},                // ERROR_BAD_NETPATH
        {54, accessDenied},           // ERROR_NETWORK_BUSY
        {55, badPath},                // ERROR_DEV_NOT_EXIST
        {57, hardIO},                 // ERROR_ADAP_HDW_ERR
        {58, accessDenied},           // ERROR_BAD_NET_RESP
        {59, hardIO},                 // ERROR_UNEXP_NET_ERR
        {60, invalidFile},            // ERROR_BAD_REM_ADAP
        {62, directoryFull},          // ERROR_NO_SPOOL_SPACE
        {64, accessDenied},           // ERROR_NETNAME_DELETED
        {65, accessDenied},           // ERROR_NETWORK_ACCESS_DENIED
        {66, invalidFile},            // ERROR_BAD_DEV_TYPE
        {67, badPath},                // ERROR_BAD_NET_NAME
        {68, tooManyOpenFiles},       // ERROR_TOO_MANY_NAMES
        {70, badPath},                // ERROR_SHARING_PAUSED
        {71, accessDenied},           // ERROR_REQ_NOT_ACCEP
        {80, accessDenied},           // ERROR_FILE_EXISTS
        {82, accessDenied},           // ERROR_CANNOT_MAKE
        {85, badPath},                // ERROR_ALREADY_ASSIGNED
        {86, accessDenied},           // ERROR_INVALID_PASSWORD
        {88, hardIO},                 // ERROR_NET_WRITE_FAULT
        {107, fileNotFound},          // ERROR_DISK_CHANGE
        {108, lockViolation},         // ERROR_DRIVE_LOCKED
        {111, badPath},               // ERROR_BUFFER_OVERFLOW
        {112, diskFull},              // ERROR_DISK_FULL
        {113, tooManyOpenFiles},      // ERROR_NO_MORE_SEARCH_HANDLES
        {114, invalidFile},           // ERROR_INVALID_TARGET_HANDLE
        {117, hardIO},                // ERROR_INVALID_CATEGORY
        {123, badPath},               // ERROR_INVALID_NAME
        {124, badPath},               // ERROR_INVALID_LEVEL
        {125, badPath},               // ERROR_NO_VOLUME_LABEL
        {131, badSeek},               // ERROR_NEGATIVE_SEEK
        {132, badSeek},               // ERROR_SEEK_ON_DEVICE
        {144, badPath},               // ERROR_DIR_NOT_ROOT
        {145, removeCurrentDir},      // ERROR_DIR_NOT_EMPTY
        {154, badPath},               // ERROR_LABEL_TOO_LONG
        {161, badPath},               // ERROR_BAD_PATHNAME
        {167, lockViolation},         // ERROR_LOCK_FAILED
        {170, accessDenied},          // ERROR_BUSY
        {182, invalidFile},           // ERROR_INVALID_ORDINAL
        {183, accessDenied},          // ERROR_ALREADY_EXISTS
        {191, invalidFile},           // ERROR_INVALID_EXE_SIGNATURE
        {193, invalidFile},           // ERROR_BAD_EXE_FORMAT
        {206, badPath},               // ERROR_FILENAME_EXCED_RANGE
        {208, badPath},               // ERROR_META_EXPANSION_TOO_LONG
        {267, badPath},               // ERROR_DIRECTORY
        {995, hardIO},                // ERROR_OPERATION_ABORTED
        {996, hardIO},                // ERROR_IO_INCOMPLETE
        {997, hardIO},                // ERROR_IO_PENDING
        {999, accessDenied},          // ERROR_SWAPERROR
    };
    for (const Row& row : kTable) {
        if (row.osError == osError) return row.cause;
    }
    return genericException;
}

LONG CFileFailure::OsErrorFromErrno(int errnoValue) { return WindowsErrorFromErrno(errnoValue); }

bool CFileFailure::GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const {
    const UINT id = kFileFailureTextFirst + static_cast<UINT>(m_cause);
    if (helpContext) *helpContext = id;
    const std::string name = m_strFileName.empty() ? LoadResourceString(kUnnamedFileText) : m_strFileName;
    std::string message = LoadResourceString(id);
    // Every "%1" is replaced; the name itself is not searched again, so a path holding "%1" stays.
    for (std::size_t at = message.find("%1"); at != std::string::npos; at = message.find("%1", at + name.size())) {
        message.replace(at, 2, name);
    }
    CopyErrorText(text, message, maxChars);
    return true;
}

}  // namespace orvane
