// Real windows whose control text cannot be read when a test says so, and the failures that a
// dialog's data exchange can meet while it reads one: what each must show the user.
#pragma once

#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Failure.h"
#include "doubles/ForwardingWindows.h"

namespace orvane::test {

// A failure raised inside the program, with or without a message of its own.
class RaisedFailure : public CFailure {
public:
    explicit RaisedFailure(std::optional<std::string> message) : message_(std::move(message)) {}
    bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const override {
        if (helpContext) *helpContext = 0;
        if (!message_) {
            text.clear();
            return false;
        }
        CopyErrorText(text, *message_, maxChars);
        return true;
    }

private:
    std::optional<std::string> message_;
};

// Reading the text of the control `controlId` runs `raise` once, then reads as usual again.
class TextFailingWindows : public ForwardingWindows {
public:
    using ForwardingWindows::ForwardingWindows;

    std::string GetWindowText(HWND window) override {
        if (raise && real_.GetDlgCtrlID(window) == controlId) {
            const std::function<void()> once = std::move(raise);
            raise = nullptr;
            once();
        }
        return real_.GetWindowText(window);
    }

    int controlId = 0;
    std::function<void()> raise;
};

struct ExchangeFailure {
    const char* what;
    std::function<void()> raise;
    // The text of the exclamation box that reports it; nullopt where the user sees no box.
    std::optional<std::string> reported;
};

inline std::vector<ExchangeFailure> ExchangeFailures() {
    return {
        {"memory runs out", [] { throw std::bad_alloc(); }, "Out of memory."},
        {"a failure with its own message", [] { throw RaisedFailure("The text could not be read."); },
         "The text could not be read."},
        {"a failure without a message", [] { throw RaisedFailure(std::nullopt); }, "Internal application error."},
        {"the standard library gives up", [] { throw std::length_error("basic_string"); },
         "Internal application error."},
        // The code that raises it has told the user already.
        {"a silent failure", [] { throw CSilentFailure(); }, std::nullopt},
    };
}

}  // namespace orvane::test
