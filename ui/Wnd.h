// The dialog framework: windows bound to message tables, modal dialogs and the dispatch step.
//
// Every message for a window of the program enters CWnd::WindowProc, which looks the message up
// in the window's message table (then in its base classes' tables) and calls the handler. A failure
// that escapes a handler is caught there, once, and reported (OnHandlerFailure). The windows
// themselves are made by the platform's backend (platform/Window.h) from the dialog templates.
#pragma once

#include <span>
#include <string>
#include <type_traits>

#include "platform/Types.h"
#include "platform/Window.h"

namespace orvane {

class CWnd;

// One binding of a message table. Command entries (WM_COMMAND) match a control id and a
// notification code; every other entry matches its message alone.
struct MessageEntry {
    UINT message;
    int id;
    UINT code;
    LRESULT (*invoke)(CWnd& wnd, WPARAM wParam, LPARAM lParam);
};

struct MessageTable {
    const MessageTable* base;
    std::span<const MessageEntry> entries;
};

namespace detail {
template <class Method>
struct MethodTraits;
template <class Class, class Result>
struct MethodTraits<Result (Class::*)()> {
    using ClassType = Class;
    using ResultType = Result;
};

template <class Result>
LRESULT ToResult(Result value) {
    if constexpr (std::is_pointer_v<Result>) {
        return reinterpret_cast<LRESULT>(value);
    } else {
        return static_cast<LRESULT>(value);
    }
}

template <auto Method>
LRESULT Invoke(CWnd& wnd, WPARAM, LPARAM) {
    using Traits = MethodTraits<decltype(Method)>;
    auto& self = static_cast<typename Traits::ClassType&>(wnd);
    if constexpr (std::is_void_v<typename Traits::ResultType>) {
        (self.*Method)();
        return 0;
    } else {
        return ToResult((self.*Method)());
    }
}
}  // namespace detail

// A message handled by a member function without arguments: OnMessage<&CMyDlg::OnPaint>(WM_PAINT).
template <auto Method>
constexpr MessageEntry OnMessage(UINT message) {
    return {message, 0, 0, &detail::Invoke<Method>};
}

// A button's click, or any command with that id and no notification code.
template <auto Method>
constexpr MessageEntry OnCommand(int id) {
    return {WM_COMMAND, id, BN_CLICKED, &detail::Invoke<Method>};
}

// Commands from this id up to kLastRoutedCommand that a window does not handle go on to its parent
// and then to the application object.
inline constexpr int kFirstRoutedCommand = 0x8000;
inline constexpr int kLastRoutedCommand = 0xEFFF;

class CWnd : public IMessageSink {
public:
    CWnd() = default;
    ~CWnd() override = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The dispatch step for every message of this window.
    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;
    // F1 with neither Shift, Ctrl nor Alt asks the main window for the application's help.
    bool PreTranslateKey(HWND hwnd, WPARAM virtualKey, bool shift, bool ctrl, bool alt) override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Centres the window over `alternate`, or over its owner, or on the work area when that window is
    // missing, hidden or minimised; then keeps it inside the work area.
    void CenterWindow(HWND alternate = nullptr);

    // The window's help request: `command` (HELP_FINDER, HELP_QUIT) on the help file of the program,
    // on behalf of this window's top-level window.
    void WinHelp(DWORD data, UINT command);

    // The message being handled by the innermost dispatch step, for handlers that need it.
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };
    static const CurrentMessage& GetCurrentMessage();

    HWND m_hWnd = nullptr;

protected:
    // Called by a handler to hand the current message on to the platform's default handling.
    void Default() { m_bDefault = true; }

    virtual const MessageTable& GetMessageTable() const;
    // Looks the message up and handles it; false when nothing handles it.
    virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A command that no table entry of this window took.
    virtual bool OnUnhandledCommand(int id, UINT code, LPARAM lParam);

    static const MessageTable messageTable;

private:
    bool m_bDefault = false;
    bool FindEntry(UINT message, int id, UINT code, const MessageEntry** found) const;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Runs the dialog until it ends; returns the result it ended with, or -1 when it could not be made.
    virtual LRESULT DoModal();
    // Ends the modal run with `result`.
    void EndDialog(int result);

    // Moves data between members and controls; `save` true reads the controls. May raise a failure.
    virtual void ExchangeData(bool save);
    // Runs ExchangeData; a failure while saving is reported at once and gives false.
    bool UpdateData(bool save);

    virtual bool InitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    const MessageTable& GetMessageTable() const override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    static const MessageTable messageTable;

    UINT m_nTemplateId;
    CWnd* m_pParentWnd;

private:
    LRESULT HandleInitDialog();
};

// The wait cursor for as long as the object lives.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Where CenterWindow puts a window of the given size against `centre`, kept inside `workArea`.
RECT CenteredRect(const RECT& window, const RECT& centre, const RECT& workArea);

}  // namespace orvane
