// The dialog framework: dispatch, message tables, modal runs and placement.
#include "ui/Wnd.h"

#include <exception>
#include <new>
#include <unordered_map>

#include "app/Application.h"
#include "app/Failure.h"
#include "app/FailureReport.h"
#include "app/AppNames.h"
#include "platform/Cursor.h"
#include "platform/Help.h"
#include "platform/Resources.h"
#include "res/resource.h"
#include "platform/Seam.h"

namespace orvane {
namespace {

IWindows& Windows() { return Seam<IWindows>::Get(); }

// The innermost message under way; nested dispatches restore the outer one when they finish.
CWnd::CurrentMessage g_current;

class MessageScope {
public:
    MessageScope(UINT message, WPARAM wParam, LPARAM lParam) : saved_(g_current) {
        g_current = {message, wParam, lParam};
    }
    ~MessageScope() { g_current = saved_; }
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;

private:
    CWnd::CurrentMessage saved_;
};

// The program's windows by native handle, so a command can be routed to the owner's own object.
std::unordered_map<HWND, CWnd*>& WindowMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

CWnd* FromHandle(HWND hwnd) {
    const auto found = WindowMap().find(hwnd);
    return found == WindowMap().end() ? nullptr : found->second;
}

// A standard-library failure other than running out of memory: reported with the fallback text.
class CUnexpectedFailure : public CFailure {
public:
    bool GetErrorText(std::string& text, UINT, UINT* helpContext) const override {
        if (helpContext) *helpContext = 0;
        text.clear();
        return false;
    }
};

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void SendCancelMode(HWND window) {
    IWindows& windows = Windows();
    windows.SendMessage(window, WM_CANCELMODE, 0, 0);
    for (HWND control = windows.GetFirstChild(window); control; control = windows.GetNextSibling(control)) {
        windows.SendMessage(control, WM_CANCELMODE, 0, 0);
    }
}

}  // namespace

// ---- CWnd --------------------------------------------------------------------------------------

const MessageTable CWnd::messageTable{nullptr, {}};

const MessageTable& CWnd::GetMessageTable() const { return messageTable; }

const CWnd::CurrentMessage& CWnd::GetCurrentMessage() { return g_current; }

LRESULT CWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    if (!m_hWnd) {
        m_hWnd = hwnd;
        WindowMap()[hwnd] = this;
    }
    MessageScope scope(message, wParam, lParam);
    *handled = true;
    try {
        LRESULT result = 0;
        const bool outerDefault = m_bDefault;
        m_bDefault = false;
        if (!OnWndMsg(message, wParam, lParam, &result) || m_bDefault) *handled = false;
        m_bDefault = outerDefault;
        if (message == WM_DESTROY) WindowMap().erase(hwnd);
        return result;
    } catch (const CFailure& failure) {
        return OnHandlerFailure(hwnd, failure, message, lParam);
    } catch (const std::bad_alloc&) {
        return OnHandlerFailure(hwnd, COutOfMemoryFailure::Instance(), message, lParam);
    } catch (const std::exception&) {
        return OnHandlerFailure(hwnd, CUnexpectedFailure(), message, lParam);
    }
}

bool CWnd::PreTranslateKey(HWND, WPARAM virtualKey, bool shift, bool ctrl, bool alt) {
    if (virtualKey != VK_F1) return false;
    // F1 with a modifier does nothing, so the key is taken either way.
    if (!shift && !ctrl && !alt) {
        if (CWnd* main = App().m_pMainWnd; main && main->m_hWnd) {
            main->SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
        }
    }
    return true;
}

bool CWnd::FindEntry(UINT message, int id, UINT code, const MessageEntry** found) const {
    for (const MessageTable* table = &GetMessageTable(); table; table = table->base) {
        for (const MessageEntry& entry : table->entries) {
            if (entry.message != message) continue;
            if (message == WM_COMMAND && (entry.id != id || entry.code != code)) continue;
            *found = &entry;
            return true;
        }
    }
    return false;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const MessageEntry* entry = nullptr;
    if (message == WM_COMMAND) {
        const int id = static_cast<int>(LOWORD(wParam));
        const UINT code = HIWORD(wParam);
        if (FindEntry(WM_COMMAND, id, code, &entry)) {
            *result = entry->invoke(*this, wParam, lParam);
            return true;
        }
        return OnUnhandledCommand(id, code, lParam);
    }
    if (!FindEntry(message, 0, 0, &entry)) return false;
    *result = entry->invoke(*this, wParam, lParam);
    return true;
}

bool CWnd::OnUnhandledCommand(int id, UINT code, LPARAM lParam) {
    if (id < kFirstRoutedCommand || id > kLastRoutedCommand) return false;
    if (CWnd* parent = FromHandle(Windows().GetParent(m_hWnd))) {
        LRESULT ignored = 0;
        if (parent->OnWndMsg(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), code), lParam, &ignored)) return true;
    }
    return App().OnCmdMsg(id);
}

HWND CWnd::GetDlgItem(int id) const { return Windows().GetDlgItem(m_hWnd, id); }

void CWnd::SetDlgItemText(int id, const std::string& text) {
    if (HWND control = GetDlgItem(id)) Windows().SetWindowText(control, text);
}

std::string CWnd::GetDlgItemText(int id) const {
    HWND control = GetDlgItem(id);
    return control ? Windows().GetWindowText(control) : std::string();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return Windows().SendMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(id);
    return control ? Windows().SendMessage(control, message, wParam, lParam) : 0;
}

RECT CenteredRect(const RECT& window, const RECT& centre, const RECT& workArea) {
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    // Integer division truncates toward zero, as the placement has always done.
    LONG left = (centre.left + centre.right) / 2 - width / 2;
    LONG top = (centre.top + centre.bottom) / 2 - height / 2;
    if (left < workArea.left) {
        left = workArea.left;
    } else if (left + width > workArea.right) {
        left = workArea.right - width;
    }
    if (top < workArea.top) {
        top = workArea.top;
    } else if (top + height > workArea.bottom) {
        top = workArea.bottom - height;
    }
    return RECT{left, top, left + width, top + height};
}

void CWnd::CenterWindow(HWND alternate) {
    IWindows& windows = Windows();
    HWND centreWindow = alternate ? alternate : windows.GetParent(m_hWnd);
    if (centreWindow && (!windows.IsWindowVisible(centreWindow) || windows.IsIconic(centreWindow))) {
        centreWindow = nullptr;
    }
    const RECT workArea = windows.GetWorkArea();
    const RECT centre = centreWindow ? windows.GetWindowRect(centreWindow) : workArea;
    const RECT placed = CenteredRect(windows.GetWindowRect(m_hWnd), centre, workArea);
    windows.MoveWindowTo(m_hWnd, placed.left, placed.top);
}

void CWnd::WinHelp(DWORD data, UINT command) {
    CWaitCursor wait;
    IWindows& windows = Windows();
    // Every window of the program is a dialog, so its top-level window is itself.
    const HWND topLevel = m_hWnd;
    // A tracked menu, a dropped-down list or a mouse capture would fight the help window for input.
    SendCancelMode(m_hWnd);
    if (HWND capture = windows.GetCapture()) windows.SendMessage(capture, WM_CANCELMODE, 0, 0);
    if (!Seam<IHelp>::Get().WinHelp(topLevel, CurrentAppNames().helpFilePath, command, data)) {
        App().ShowMessageBox(LoadResourceString(AFX_IDP_FAILED_TO_LAUNCH_HELP), MB_OK | MB_ICONEXCLAMATION, 0);
    }
}

// ---- CDialog -----------------------------------------------------------------------------------

namespace {
const MessageEntry kDialogEntries[] = {
    OnCommand<&CDialog::OnOK>(IDOK),
    OnCommand<&CDialog::OnCancel>(IDCANCEL),
};
}  // namespace

const MessageTable CDialog::messageTable{&CWnd::messageTable, kDialogEntries};

const MessageTable& CDialog::GetMessageTable() const { return messageTable; }

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_INITDIALOG) {
        *result = HandleInitDialog();
        return true;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

LRESULT CDialog::HandleInitDialog() {
    IWindows& windows = Windows();
    const bool visibleBefore = windows.IsWindowVisible(m_hWnd);
    const RECT before = windows.GetWindowRect(m_hWnd);
    // A failure here leaves through the dispatch step, which skips the placement below.
    const bool result = InitDialog();

    // Dialogs that neither placed nor showed themselves, and are not over an active owner, are
    // centred. Every template of the program stands at the origin, which this rule needs too.
    if (!visibleBefore && !windows.IsWindowVisible(m_hWnd) && SameRect(before, windows.GetWindowRect(m_hWnd))) {
        const HWND owner = windows.GetParent(m_hWnd);
        const DWORD style = windows.GetWindowStyle(m_hWnd);
        if ((!owner || !windows.IsWindowEnabled(owner)) && (style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) == 0) {
            CenterWindow();
        }
    }
    return result ? 1 : 0;
}

LRESULT CDialog::DoModal() {
    IWindows& windows = Windows();
    if (!windows.HasDialogTemplate(m_nTemplateId)) return -1;

    HWND owner = nullptr;
    if (m_pParentWnd) {
        owner = m_pParentWnd->m_hWnd;
    } else if (CWnd* main = App().m_pMainWnd; main && main->m_hWnd) {
        owner = windows.GetLastActivePopup(main->m_hWnd);
    }
    const bool disabledOwner = owner && windows.IsWindowEnabled(owner);
    if (disabledOwner) windows.EnableWindow(owner, false);

    LRESULT result = -1;
    if (HWND hwnd = windows.CreateDialogWindow(m_nTemplateId, owner, this)) {
        m_hWnd = hwnd;
        WindowMap()[hwnd] = this;
        result = windows.RunModalLoop(hwnd);
        const bool wasActive = windows.GetActiveWindow() == hwnd;
        windows.ShowWindow(hwnd, false);
        if (disabledOwner) windows.EnableWindow(owner, true);
        if (wasActive && owner) windows.SetActiveWindow(owner);
        windows.DestroyWindow(hwnd);
        WindowMap().erase(hwnd);
        m_hWnd = nullptr;
    } else if (disabledOwner) {
        windows.EnableWindow(owner, true);
    }
    return result;
}

void CDialog::EndDialog(int result) { Windows().EndModalLoop(m_hWnd, result); }

void CDialog::ExchangeData(bool) {}

bool CDialog::UpdateData(bool save) {
    if (!save) {
        ExchangeData(false);
        return true;
    }
    // Every failure is told here, as the exclamation box, and the dialog stays open; none goes on to
    // the dispatch step, which would tell it again with another icon.
    try {
        ExchangeData(true);
        return true;
    } catch (const CSilentFailure&) {
        // Whoever raised it has told the user already.
    } catch (const CFailure& failure) {
        failure.ReportFailure(MB_ICONEXCLAMATION, AFX_IDP_INTERNAL_FAILURE);
    } catch (const std::bad_alloc&) {
        COutOfMemoryFailure::Instance().ReportFailure(MB_ICONEXCLAMATION, AFX_IDP_INTERNAL_FAILURE);
    } catch (const std::exception&) {
        CUnexpectedFailure().ReportFailure(MB_ICONEXCLAMATION, AFX_IDP_INTERNAL_FAILURE);
    }
    return false;
}

bool CDialog::InitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// ---- CWaitCursor -------------------------------------------------------------------------------

CWaitCursor::CWaitCursor() { Seam<ICursor>::Get().BeginWait(); }

CWaitCursor::~CWaitCursor() { Seam<ICursor>::Get().EndWait(); }

}  // namespace orvane
