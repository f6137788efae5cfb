// Windows and controls: the backend under the dialog framework.
//
// The framework (ui/Wnd.h) is written once against this interface in the Win32 vocabulary; the
// Windows layer passes through to USER32, and other layers build the same windows from the same
// dialog templates and answer the same messages. All calls are made on the user-interface thread.
//
// Messages that a backend delivers to a window's IMessageSink:
//   WM_INITDIALOG  once, after the window and its controls exist and before it is first shown.
//   WM_COMMAND     wParam = MAKEWPARAM(control id, notification), lParam = the control's HWND, or 0
//                  for a command that came from no control. A push button's click, a mnemonic that
//                  reaches a push button and Enter on the default (or focused) push button all give
//                  (id, BN_CLICKED) with lParam the button; Esc gives (IDCANCEL, BN_CLICKED) with
//                  lParam the IDCANCEL button's HWND or 0 when the dialog has none.
//   WM_CLOSE       the close box, the system menu's Close, Alt+F4. When the sink leaves it unhandled
//                  the backend sends WM_COMMAND (IDCANCEL, BN_CLICKED) as the dialog manager does.
//   WM_PAINT       only where the platform asks a minimised window to paint.
//   WM_QUERYDRAGICON, WM_DESTROY (from DestroyWindow, before the window goes).
// A sink that leaves a message unhandled gets the platform's default dialog handling.
#pragma once

#include <string>

#include "platform/Types.h"

namespace orvane {

class IMessageSink {
public:
    virtual ~IMessageSink() = default;

    // Handles one message for `hwnd`; sets `*handled` false to ask for the default handling.
    virtual LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) = 0;

    // Offered every key press in the window or its controls before the dialog manager sees it
    // (Tab, Enter, Esc, mnemonics). Answers true when it has acted on the key: the key is then dropped.
    virtual bool PreTranslateKey(HWND hwnd, WPARAM virtualKey, bool shift, bool ctrl, bool alt) = 0;
};

// An open painting session of a window (from BeginPaint until EndPaint).
using HDC = void*;

inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;

class IWindows {
public:
    virtual ~IWindows() = default;

    // --- Dialogs -------------------------------------------------------------------------------
    // True when the program's resources hold the dialog template `templateId`.
    virtual bool HasDialogTemplate(UINT templateId) = 0;

    // Builds the dialog from template `templateId`, owned by `owner` (null: none), hidden, with its
    // controls in template order; sends it WM_INITDIALOG through `sink` (which stays owned by the
    // caller and must outlive the window); then shows it when the template has WS_VISIBLE. Returns
    // null when the template is missing or the window cannot be made.
    virtual HWND CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) = 0;

    // Runs the dialog's modal loop until EndModalLoop; shows the dialog, in its normal state, the
    // first time the loop finds no message waiting if it is not visible by then. Returns the result
    // given to EndModalLoop. Loops nest.
    virtual LRESULT RunModalLoop(HWND dialog) = 0;
    virtual void EndModalLoop(HWND dialog, LRESULT result) = 0;

    // Sends WM_DESTROY to the window's sink, then destroys the window and its controls.
    virtual void DestroyWindow(HWND window) = 0;

    // --- Windows -------------------------------------------------------------------------------
    // Hiding never activates another window, whatever was active: the caller activates the window
    // that should come next (a dialog's owner), so that no other program's window comes in front.
    virtual void ShowWindow(HWND window, bool show) = 0;
    virtual bool IsWindowVisible(HWND window) = 0;
    virtual bool IsIconic(HWND window) = 0;
    virtual bool IsWindowEnabled(HWND window) = 0;
    virtual void EnableWindow(HWND window, bool enable) = 0;
    // Outer rectangle in screen pixels.
    virtual RECT GetWindowRect(HWND window) = 0;
    virtual RECT GetClientRect(HWND window) = 0;
    // Moves the window's top-left corner to (x, y) in screen pixels; size, z-order and activation stay.
    virtual void MoveWindowTo(HWND window, int x, int y) = 0;
    // The screen less the task bar and panels, in screen pixels.
    virtual RECT GetWorkArea() = 0;
    virtual HWND GetActiveWindow() = 0;
    virtual void SetActiveWindow(HWND window) = 0;
    // The pop-up window that was most recently active over `window`, or `window` itself.
    virtual HWND GetLastActivePopup(HWND window) = 0;
    virtual HWND GetCapture() = 0;
    // The owner of a top-level window, or the dialog of a control; null for an unowned window.
    virtual HWND GetParent(HWND window) = 0;
    virtual DWORD GetWindowStyle(HWND window) = 0;
    virtual std::string GetWindowText(HWND window) = 0;
    virtual void SetWindowText(HWND window, const std::string& text) = 0;

    // Sends a message. To a dialog: delivered to its sink. To a control, the backend answers:
    // WM_GETDLGCODE (DLGC_RADIOBUTTON for radio buttons), BM_GETCHECK/BM_SETCHECK, CB_ADDSTRING
    // (lParam: const char*, returns the new index), CB_SETCURSEL, CB_GETCURSEL (CB_ERR for none),
    // WM_CANCELMODE (closes an open drop-down, ends a capture). To a dialog also WM_SETICON
    // (ICON_BIG / ICON_SMALL, lParam the HICON) and WM_CANCELMODE, which the backend handles when
    // the sink does not.
    virtual LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // --- Controls ------------------------------------------------------------------------------
    virtual HWND GetDlgItem(HWND dialog, int id) = 0;
    virtual int GetDlgCtrlID(HWND control) = 0;
    // The dialog's first control in template order, and the control after `control`; null at the end.
    virtual HWND GetFirstChild(HWND dialog) = 0;
    virtual HWND GetNextSibling(HWND control) = 0;
    // Moves the keyboard focus to `control`.
    virtual void SetFocus(HWND control) = 0;
    virtual HWND GetFocus() = 0;

    // --- Icons and painting --------------------------------------------------------------------
    // The icon group `iconId` from the program's resources at the system's standard icon size;
    // null when it is missing. Shared: never released.
    virtual HICON LoadIcon(UINT iconId) = 0;
    virtual int GetSystemMetrics(int index) = 0;
    virtual HDC BeginPaint(HWND window) = 0;
    virtual void EndPaint(HWND window, HDC dc) = 0;
    virtual void DrawIcon(HDC dc, int x, int y, HICON icon) = 0;
    // Marks the whole window as painted.
    virtual void ValidateRect(HWND window) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IWindows";
};

inline constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
    return static_cast<WPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
inline constexpr unsigned LOWORD(WPARAM value) { return static_cast<unsigned>(value & 0xFFFFu); }
inline constexpr unsigned HIWORD(WPARAM value) { return static_cast<unsigned>((value >> 16) & 0xFFFFu); }

}  // namespace orvane
