// The Qt 6 Widgets backend of the window service, for the rest of the Linux layer and its tests.
//
// Windows are built from dialog templates as USER32 builds them: dialog units converted with the
// dialog font's metrics, controls in template order, tab stops and groups from the styles. Keys are
// handled by a dialog manager of our own that follows the Win32 one (see platform/Window.h), so Qt's
// own shortcut and tab handling never act on a dialog. An HWND is a pointer to a window record of
// this backend; Qt types never cross the interface.
//
// 8-bit texts are taken as UTF-8, the system code page here; bytes that are not valid UTF-8 are read
// as Latin-1, which is how the resource reader narrows the string table.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"
#include "platform/Window.h"
#include "platform/linux/ResourceData.h"

class QChar;
class QFont;
class QKeyEvent;
class QString;
class QWidget;

namespace orvane::qt {

// Win32 values that only this backend needs.
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_MINIMIZE = 0x20000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;  // the same bit as WS_GROUP, on top-level windows
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;  // the same bit as WS_TABSTOP, on top-level windows
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD BS_TYPEMASK = 0x0000000F;
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
inline constexpr DWORD BS_CHECKBOX = 0x2;
inline constexpr DWORD BS_AUTOCHECKBOX = 0x3;
inline constexpr DWORD BS_RADIOBUTTON = 0x4;
inline constexpr DWORD BS_3STATE = 0x5;
inline constexpr DWORD BS_AUTO3STATE = 0x6;
inline constexpr DWORD BS_GROUPBOX = 0x7;
inline constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
inline constexpr DWORD SS_TYPEMASK = 0x0000001F;
inline constexpr DWORD SS_LEFT = 0x0;
inline constexpr DWORD SS_CENTER = 0x1;
inline constexpr DWORD SS_RIGHT = 0x2;
inline constexpr DWORD SS_ICON = 0x3;
inline constexpr DWORD SS_LEFTNOWORDWRAP = 0xC;
inline constexpr DWORD SS_NOPREFIX = 0x80;
inline constexpr DWORD CBS_SORT = 0x0100;
inline constexpr DWORD ES_PASSWORD = 0x0020;
inline constexpr DWORD ES_READONLY = 0x0800;
inline constexpr LRESULT DLGC_WANTARROWS = 0x0001;
inline constexpr LRESULT DLGC_WANTTAB = 0x0002;
inline constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
inline constexpr LRESULT DLGC_HASSETSEL = 0x0008;
inline constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
inline constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
inline constexpr LRESULT DLGC_WANTCHARS = 0x0080;
inline constexpr LRESULT DLGC_STATIC = 0x0100;
inline constexpr LRESULT DLGC_BUTTON = 0x2000;
inline constexpr int kStandardIconSize = 32;
inline constexpr int kSmallIconSize = 16;

// Win32 MulDiv: number * numerator / denominator in 64 bits, rounded half away from zero; -1 when
// the denominator is 0.
int MulDiv(int number, int numerator, int denominator);

// Horizontal and vertical dialog base units of a font, as GetDialogBaseUnits computes them: the
// average width of "A".."Z" and "a".."z" and the font's height. A dialog unit is a quarter of the
// first and an eighth of the second.
struct DialogBaseUnits {
    int cx = 0;
    int cy = 0;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

// The font that a template asks for. "MS Sans Serif" and "Helv", the Windows dialog fonts, give the
// system's dialog font (the application font) at its own size, as Windows does on systems with a
// double-byte character set; so does a template without a font.
QFont DialogFontOf(const res::DialogTemplate& dialog);

// Decodes an 8-bit text of the program (UTF-8, else Latin-1) and encodes one back (UTF-8).
QString FromProgramText(const std::string& text);
std::string ToProgramText(const QString& text);

// Where a template's dialogs and icons come from: the program's resources in the program, hand-built
// values in tests.
struct ResourceSource {
    std::function<std::optional<res::DialogTemplate>(UINT id)> dialog;
    std::function<std::vector<res::IconImage>(UINT id)> iconGroup;
};
ResourceSource ProgramResources();

class CQtWindows final : public IWindows {
public:
    explicit CQtWindows(ResourceSource resources);
    // Destroys the windows that are still open, without telling their sinks.
    ~CQtWindows() override;
    CQtWindows(const CQtWindows&) = delete;
    CQtWindows& operator=(const CQtWindows&) = delete;

    bool HasDialogTemplate(UINT templateId) override;
    HWND CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) override;
    LRESULT RunModalLoop(HWND dialog) override;
    void EndModalLoop(HWND dialog, LRESULT result) override;
    void DestroyWindow(HWND window) override;

    void ShowWindow(HWND window, bool show) override;
    bool IsWindowVisible(HWND window) override;
    bool IsIconic(HWND window) override;
    bool IsWindowEnabled(HWND window) override;
    void EnableWindow(HWND window, bool enable) override;
    RECT GetWindowRect(HWND window) override;
    RECT GetClientRect(HWND window) override;
    void MoveWindowTo(HWND window, int x, int y) override;
    RECT GetWorkArea() override;
    HWND GetActiveWindow() override;
    void SetActiveWindow(HWND window) override;
    HWND GetLastActivePopup(HWND window) override;
    HWND GetCapture() override;
    HWND GetParent(HWND window) override;
    DWORD GetWindowStyle(HWND window) override;
    std::string GetWindowText(HWND window) override;
    void SetWindowText(HWND window, const std::string& text) override;
    LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND GetDlgItem(HWND dialog, int id) override;
    int GetDlgCtrlID(HWND control) override;
    HWND GetFirstChild(HWND dialog) override;
    HWND GetNextSibling(HWND control) override;
    void SetFocus(HWND control) override;
    HWND GetFocus() override;

    HICON LoadIcon(UINT iconId) override;
    int GetSystemMetrics(int index) override;
    HDC BeginPaint(HWND window) override;
    void EndPaint(HWND window, HDC dc) override;
    void DrawIcon(HDC dc, int x, int y, HICON icon) override;
    void ValidateRect(HWND window) override;

    // The Qt widget of a window of this backend (the dialog's top-level widget, or the control), and
    // back; null for what is not one.
    QWidget* WidgetOf(HWND window) const;
    HWND HandleOf(const QWidget* widget) const;

    struct Window;
    struct Icon;
    struct ModalLoop;
    struct PaintSession;
    class DialogWidget;
    class KeyFilter;

private:
    Window* Find(HWND window) const;
    Window* FindDialog(HWND window) const;
    const Icon* FindIcon(HICON icon) const;

    void BuildControls(Window& dialog, const res::DialogTemplate& dialogTemplate, const DialogBaseUnits& units);
    void Forget(Window& window);
    void DestroyDialog(Window* dialog);
    void ShowNormal(Window& dialog);

    LRESULT DefaultDialogProc(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ControlProc(Window& control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DialogCode(const Window& control) const;
    void SetText(Window& window, const std::string& text);
    void FitStaticText(Window& label, const QString& shown);
    void UpdateWindowIcon(Window& dialog);
    Window* FindControl(Window& dialog, int id) const;

    // Input from Qt, turned into messages.
    bool OnKeyPress(QWidget* receiver, const QKeyEvent& event);
    bool DialogKey(Window& dialog, const QKeyEvent& event);
    void ActivateMnemonic(Window& dialog, Window& target);
    void OnButtonClicked(Window& control);
    void OnCloseRequested(Window& dialog);
    void OnActivated(Window& dialog);
    void OnFocusChanged(QWidget* now);
    void OnMinimisedPaint(Window& dialog, QWidget& widget);

    // The dialog manager's moves.
    Window* FocusedControl(Window& dialog) const;
    Window* NextTabStop(Window& dialog, Window* from, bool backwards) const;
    Window* NextInGroup(Window& dialog, Window* from, bool backwards) const;
    Window* MnemonicTarget(Window& dialog, Window* from, QChar key) const;
    void FocusControl(Window& control, int reason);
    void PressEnter(Window& dialog, Window* focus);
    void SendCommand(Window& dialog, int id, UINT code, Window* control);

    // Runs `deliver`, which hands a Qt event to a sink. Qt must not see a C++ exception, so one that
    // escapes is kept, the innermost modal loop ends, and RunModalLoop throws it again there.
    template <class Deliver>
    void Guarded(Deliver&& deliver) noexcept;

    ResourceSource resources_;
    std::vector<std::unique_ptr<Window>> dialogs_;
    std::vector<std::unique_ptr<Icon>> icons_;
    std::vector<ModalLoop*> loops_;  // running modal loops, innermost last
    std::vector<std::unique_ptr<PaintSession>> paints_;
    std::unique_ptr<KeyFilter> keyFilter_;
    std::exception_ptr pending_;
    Window* lastFocusRequest_ = nullptr;
    int delivering_ = 0;  // Qt events being handed to sinks right now
    bool focusHooked_ = false;
};

// The Qt widget of a window of any backend instance; null for what is not one. Lets message boxes
// and the help viewer take a window as their owner.
QWidget* WidgetOfWindow(HWND window);

// The Qt virtual key for a Qt key code; 0 for keys without one.
WPARAM VirtualKeyOf(int qtKey);

}  // namespace orvane::qt
