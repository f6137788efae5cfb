// Windows and controls on Windows: the system's dialog manager runs the templates.
//
// Each dialog is a modeless dialog of USER32 (CreateDialogParamA) whose dialog procedure hands every
// message to the framework's IMessageSink; the modal run is our own message loop, so the framework
// sees each key press first (F1) and the dialog manager then does the rest: Tab, Enter, Esc,
// mnemonics and default buttons are the platform's own.
#include "platform/win32/Services.h"

#include <exception>
#include <map>
#include <utility>
#include <vector>

#include "platform/win32/Win32.h"

namespace orvane {

namespace {

::HWND ToNative(HWND window) { return static_cast<::HWND>(window); }

RECT FromNative(const ::RECT& rect) {
    return {static_cast<LONG>(rect.left), static_cast<LONG>(rect.top), static_cast<LONG>(rect.right),
            static_cast<LONG>(rect.bottom)};
}

HINSTANCE ProgramModule() { return ::GetModuleHandleA(nullptr); }

// A resource id in the pointer form that the resource functions take.
LPCSTR ResourceId(UINT id) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))); }

// The sinks of the dialogs that exist, from WM_INITDIALOG until WM_NCDESTROY.
std::map<::HWND, IMessageSink*>& Sinks() {
    static std::map<::HWND, IMessageSink*> sinks;
    return sinks;
}

IMessageSink* SinkOf(::HWND dialog) {
    const auto found = Sinks().find(dialog);
    return found == Sinks().end() ? nullptr : found->second;
}

// A failure must not unwind through USER32's frames, which know nothing of C++ exceptions. The
// framework catches failures in its dispatch step; anything that still escapes a sink is parked
// here and raised again once control is back in our own code.
std::exception_ptr& PendingException() {
    static std::exception_ptr pending;
    return pending;
}

void RaisePending() {
    if (std::exception_ptr pending = std::exchange(PendingException(), nullptr)) std::rethrow_exception(pending);
}

// Messages whose answer a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

// BM_SETCHECK makes a checked automatic radio button a tab stop and an unchecked one not. The radio
// buttons that a dialog checks as it opens keep the template's tab stops, so that the focus starts
// on the template's first tab stop and Tab goes where the template says.
std::vector<::HWND> RadioButtons(::HWND dialog) {
    std::vector<::HWND> radios;
    for (::HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::SendMessageA(child, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) radios.push_back(child);
    }
    return radios;
}

void RestoreTabStops(const std::vector<::HWND>& radios, const std::vector<LONG_PTR>& styles) {
    for (std::size_t i = 0; i < radios.size(); ++i) {
        const LONG_PTR now = ::GetWindowLongPtrA(radios[i], GWL_STYLE);
        if ((now ^ styles[i]) & WS_TABSTOP) {
            ::SetWindowLongPtrA(radios[i], GWL_STYLE, (now & ~WS_TABSTOP) | (styles[i] & WS_TABSTOP));
        }
    }
}

INT_PTR CALLBACK DialogProc(::HWND hwnd, UINT message, ::WPARAM wParam, ::LPARAM lParam) {
    if (message == WM_INITDIALOG) Sinks()[hwnd] = reinterpret_cast<IMessageSink*>(lParam);
    IMessageSink* sink = SinkOf(hwnd);
    if (!sink) return FALSE;
    if (message == WM_NCDESTROY) {
        Sinks().erase(hwnd);
        return FALSE;
    }

    std::vector<::HWND> radios;
    std::vector<LONG_PTR> radioStyles;
    if (message == WM_INITDIALOG) {
        radios = RadioButtons(hwnd);
        for (const ::HWND radio : radios) radioStyles.push_back(::GetWindowLongPtrA(radio, GWL_STYLE));
    }

    bool handled = false;
    LRESULT result = 0;
    try {
        // The sink's own pointer is no business of its handlers: WM_INITDIALOG reaches them with 0.
        const LPARAM forwarded = message == WM_INITDIALOG ? 0 : static_cast<LPARAM>(lParam);
        result = sink->WindowProc(hwnd, message, static_cast<WPARAM>(wParam), forwarded, &handled);
    } catch (...) {
        PendingException() = std::current_exception();
        handled = true;
        result = 0;
    }

    if (message == WM_INITDIALOG) RestoreTabStops(radios, radioStyles);

    if (!handled) {
        // Unhandled WM_INITDIALOG: the dialog manager puts the focus on the first tab stop.
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
    if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
    return TRUE;
}

// One running modal loop, or a dialog that was ended before its loop started.
struct ModalState {
    bool ended = false;
    LRESULT result = 0;
};

std::map<::HWND, ModalState>& ModalStates() {
    static std::map<::HWND, ModalState> states;
    return states;
}

bool KeyIsDown(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

// Offers a key press to the sink of the dialog that holds the focus; true when the sink took it.
bool OfferKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    const ::HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
    IMessageSink* sink = root ? SinkOf(root) : nullptr;
    if (!sink) return false;
    return sink->PreTranslateKey(root, static_cast<WPARAM>(msg.wParam), KeyIsDown(VK_SHIFT), KeyIsDown(VK_CONTROL),
                                 KeyIsDown(VK_MENU));
}

// The painting sessions that are open, one per window (BeginPaint to EndPaint).
std::map<::HWND, PAINTSTRUCT>& Paints() {
    static std::map<::HWND, PAINTSTRUCT> paints;
    return paints;
}

}  // namespace

bool CWin32Windows::HasDialogTemplate(UINT templateId) {
    return ::FindResourceA(ProgramModule(), ResourceId(templateId), MAKEINTRESOURCEA(5)) != nullptr;
}

HWND CWin32Windows::CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) {
    ::HWND dialog = ::CreateDialogParamA(ProgramModule(), ResourceId(templateId), ToNative(owner), &DialogProc,
                                         reinterpret_cast<::LPARAM>(sink));
    RaisePending();
    return dialog;
}

LRESULT CWin32Windows::RunModalLoop(HWND dialog) {
    const ::HWND window = ToNative(dialog);
    ModalState& state = ModalStates()[window];
    struct Forget {
        ::HWND window;
        ~Forget() { ModalStates().erase(window); }
    } forget{window};

    bool shown = ::IsWindowVisible(window) != FALSE;
    while (!state.ended) {
        MSG msg{};
        if (!shown && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            ::ShowWindow(window, SW_SHOWNORMAL);
            ::UpdateWindow(window);
            shown = true;
            continue;
        }
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT ends every loop: put it back for the loops outside this one.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return -1;
        }
        if (got == -1) return -1;
        // The dialog manager of the window that holds the focus: the running dialog, or the help
        // viewer, whose list and text take Tab the same way.
        const ::HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (!OfferKey(msg) && !(root && ::IsDialogMessageA(root, &msg))) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        RaisePending();
    }
    return state.result;
}

void CWin32Windows::EndModalLoop(HWND dialog, LRESULT result) {
    ModalState& state = ModalStates()[ToNative(dialog)];
    state.ended = true;
    state.result = result;
    // Wakes the loop if it is waiting in GetMessageA.
    ::PostMessageA(ToNative(dialog), WM_NULL, 0, 0);
}

void CWin32Windows::DestroyWindow(HWND window) {
    ::DestroyWindow(ToNative(window));
    ModalStates().erase(ToNative(window));
    RaisePending();
}

void CWin32Windows::ShowWindow(HWND window, bool show) {
    if (show) {
        ::ShowWindow(ToNative(window), SW_SHOW);
        return;
    }
    // ShowWindow(SW_HIDE) would hand the activation on to the next window that takes it, and
    // while a dialog's owner is still disabled that is another program's window. Hidden this
    // way, the window gives up nothing; the caller activates what should come next.
    ::SetWindowPos(ToNative(window), nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CWin32Windows::IsWindowVisible(HWND window) { return ::IsWindowVisible(ToNative(window)) != FALSE; }

bool CWin32Windows::IsIconic(HWND window) { return ::IsIconic(ToNative(window)) != FALSE; }

bool CWin32Windows::IsWindowEnabled(HWND window) { return ::IsWindowEnabled(ToNative(window)) != FALSE; }

void CWin32Windows::EnableWindow(HWND window, bool enable) { ::EnableWindow(ToNative(window), enable ? TRUE : FALSE); }

RECT CWin32Windows::GetWindowRect(HWND window) {
    ::RECT rect{};
    ::GetWindowRect(ToNative(window), &rect);
    return FromNative(rect);
}

RECT CWin32Windows::GetClientRect(HWND window) {
    ::RECT rect{};
    ::GetClientRect(ToNative(window), &rect);
    return FromNative(rect);
}

void CWin32Windows::MoveWindowTo(HWND window, int x, int y) {
    ::SetWindowPos(ToNative(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT CWin32Windows::GetWorkArea() {
    ::RECT rect{};
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0)) {
        rect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return FromNative(rect);
}

HWND CWin32Windows::GetActiveWindow() { return ::GetActiveWindow(); }

void CWin32Windows::SetActiveWindow(HWND window) { ::SetActiveWindow(ToNative(window)); }

HWND CWin32Windows::GetLastActivePopup(HWND window) { return ::GetLastActivePopup(ToNative(window)); }

HWND CWin32Windows::GetCapture() { return ::GetCapture(); }

HWND CWin32Windows::GetParent(HWND window) {
    // GetParent answers the owner only for pop-up windows; ask for what the interface promises.
    const ::HWND native = ToNative(window);
    if (::GetWindowLongA(native, GWL_STYLE) & WS_CHILD) return ::GetAncestor(native, GA_PARENT);
    return ::GetWindow(native, GW_OWNER);
}

DWORD CWin32Windows::GetWindowStyle(HWND window) {
    return static_cast<DWORD>(::GetWindowLongA(ToNative(window), GWL_STYLE));
}

std::string CWin32Windows::GetWindowText(HWND window) {
    const int length = ::GetWindowTextLengthA(ToNative(window));
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(ToNative(window), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void CWin32Windows::SetWindowText(HWND window, const std::string& text) { ::SetWindowTextA(ToNative(window), text.c_str()); }

LRESULT CWin32Windows::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = ::SendMessageA(ToNative(window), message, wParam, lParam);
    RaisePending();
    return result;
}

HWND CWin32Windows::GetDlgItem(HWND dialog, int id) { return ::GetDlgItem(ToNative(dialog), id); }

int CWin32Windows::GetDlgCtrlID(HWND control) { return ::GetDlgCtrlID(ToNative(control)); }

HWND CWin32Windows::GetFirstChild(HWND dialog) { return ::GetWindow(ToNative(dialog), GW_CHILD); }

HWND CWin32Windows::GetNextSibling(HWND control) { return ::GetWindow(ToNative(control), GW_HWNDNEXT); }

void CWin32Windows::SetFocus(HWND control) {
    // Inside a dialog the dialog manager moves the focus, so the default button follows it.
    const ::HWND native = ToNative(control);
    const ::HWND dialog = (::GetWindowLongA(native, GWL_STYLE) & WS_CHILD) ? ::GetAncestor(native, GA_PARENT) : nullptr;
    if (dialog && SinkOf(dialog)) {
        ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<::WPARAM>(native), TRUE);
    } else {
        ::SetFocus(native);
    }
}

HWND CWin32Windows::GetFocus() { return ::GetFocus(); }

HICON CWin32Windows::LoadIcon(UINT iconId) { return ::LoadIconA(ProgramModule(), ResourceId(iconId)); }

int CWin32Windows::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

HDC CWin32Windows::BeginPaint(HWND window) {
    PAINTSTRUCT& paint = Paints()[ToNative(window)];
    return ::BeginPaint(ToNative(window), &paint);
}

void CWin32Windows::EndPaint(HWND window, HDC) {
    const auto found = Paints().find(ToNative(window));
    if (found == Paints().end()) return;
    ::EndPaint(ToNative(window), &found->second);
    Paints().erase(found);
}

void CWin32Windows::DrawIcon(HDC dc, int x, int y, HICON icon) {
    ::DrawIcon(static_cast<::HDC>(dc), x, y, static_cast<::HICON>(const_cast<void*>(icon)));
}

void CWin32Windows::ValidateRect(HWND window) { ::ValidateRect(ToNative(window), nullptr); }

}  // namespace orvane
