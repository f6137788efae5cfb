// The failures that URL access raises: an Internet failure (the Internet library refused) and a file
// failure (a file URL's file could not be opened or read).
#pragma once

#include <string>

#include "app/Failure.h"
#include "platform/Types.h"

namespace orvane {

// String ids of the file-failure texts (AFX_IDP_FILE_NONE + cause and AFX_IDS_UNNAMED_FILE in the
// resource script), named apart from its macros so that both can be included together.
inline constexpr UINT kFileFailureTextFirst = 0xF1A0;  // "No error occurred."
inline constexpr UINT kUnnamedFileText = 0xF006;  // "an unnamed file"

// The Internet library reported an error. Its text is the library's own text for the code.
class CInternetFailure : public CFailure {
public:
    CInternetFailure(DWORD error, DWORD context) : m_dwError(error), m_dwContext(context) {}

    DWORD GetErrorCode() const { return m_dwError; }
    DWORD GetContext() const { return m_dwContext; }

    // No help context. Answers false (empty text) when the library knows no text for the code; for
    // ERROR_INTERNET_EXTENDED_ERROR the text is the server's last response, or the code's own text
    // when the server left none, so that true always comes with a text.
    bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const override;

private:
    DWORD m_dwError;
    DWORD m_dwContext;
};

// A local file could not be opened or read.
class CFileFailure : public CFailure {
public:
    // The causes; each selects the text kFileFailureTextFirst + cause.
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    // A cause outside the table counts as genericException.
    CFileFailure(int cause, LONG osError, std::string fileName);

    // The failure for a file operation that failed with the C library's `errnoValue`.
    static CFileFailure FromErrno(int errnoValue, std::string fileName);

    // The cause that a Windows system error code (ERROR_*) stands for; genericException for codes
    // without an entry.
    static int CauseFromOsError(LONG osError);

    // The Windows system error code that the C library's errno value corresponds to, so that the
    // same failed open gives the same cause on every platform; 0 for 0, and for values that have no
    // counterpart a code that the cause table does not know.
    static LONG OsErrorFromErrno(int errnoValue);

    int GetCause() const { return m_cause; }
    LONG GetOsError() const { return m_lOsError; }
    const std::string& GetFileName() const { return m_strFileName; }

    // Help context kFileFailureTextFirst + cause; the cause's text with "%1" replaced by the file name,
    // or by "an unnamed file" when it is empty. Always true.
    bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const override;

private:
    int m_cause;
    LONG m_lOsError;
    std::string m_strFileName;
};

}  // namespace orvane
