// Failure objects: what an unexpected failure raises, and how it describes itself to the user.
//
// A failure is thrown by value where it happens and caught once, by the dispatch step of window
// messages (OnHandlerFailure), which reports it. Handlers never catch failures themselves; what
// they hold is released by destructors while the failure travels out.
#pragma once

#include <string>

#include "platform/Types.h"

namespace orvane {

// String ids of the report's texts.
inline constexpr UINT AFX_IDP_NO_ERROR_AVAILABLE = 0xF020;  // "No error message is available."
inline constexpr UINT AFX_IDS_MEMORY_EXCEPTION = 0xF023;    // "Out of memory."
inline constexpr UINT AFX_IDP_INTERNAL_FAILURE = 0xF108;    // "Internal application error."
inline constexpr UINT AFX_IDP_COMMAND_FAILURE = 0xF109;     // "Command failed."

class CFailure {
public:
    virtual ~CFailure() = default;

    // Puts the failure's message in `text` (at most maxChars - 1 characters) and its help context in
    // `*helpContext` (may be null), and answers true; or empties `text` and answers false when the
    // failure has no message.
    virtual bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const = 0;

    // Shows the failure's message, or string `fallbackId` when it has none (0 stands for "No error
    // message is available."), in a message box of type `boxType` captioned with the application
    // name. Returns the button pressed.
    int ReportFailure(UINT boxType, UINT fallbackId) const;

protected:
    CFailure() = default;
    CFailure(const CFailure&) = default;
    CFailure& operator=(const CFailure&) = default;
};

// Memory ran out. Carries nothing, so raising it needs no memory of its own; std::bad_alloc is
// reported as this failure too.
class COutOfMemoryFailure : public CFailure {
public:
    bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const override;
    static const COutOfMemoryFailure& Instance();
};

// Raised by code that has already told the user; never reported.
class CSilentFailure : public CFailure {
public:
    bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const override;
};

// Copies at most maxChars - 1 characters of `source` into `text`; used by every GetErrorText.
void CopyErrorText(std::string& text, const std::string& source, UINT maxChars);

}  // namespace orvane
