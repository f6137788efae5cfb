// The application object: start-up, shut-down, help routing and message boxes.
#include "app/Application.h"

#include "app/AppNames.h"
#include "config/SettingsStore.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/Window.h"
#include "res/resource.h"
#include "ui/OrvaneDlg.h"

namespace orvane {
namespace {

// The application title string. The table holds none, so the application name is the executable's
// file title.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;

COrvaneApp* g_app = nullptr;

}  // namespace

// The one application object, made before the entry point runs.
COrvaneApp theApp;

COrvaneApp::COrvaneApp() { g_app = this; }

COrvaneApp::~COrvaneApp() {
    if (g_app == this) g_app = nullptr;
}

COrvaneApp& App() { return *g_app; }

int RunApplication() {
    IProcess& process = Seam<IProcess>::Get();
    process.SuppressSystemErrorBoxes();
    const std::optional<std::string> title = Seam<IResources>::Get().LoadString(AFX_IDS_APP_TITLE);
    SetAppNames(DeriveAppNames(process.ModuleFileName(), title ? &*title : nullptr));
    App().InitInstance();
    return 0;
}

bool COrvaneApp::InitInstance() {
    // The maker's key name has room for 255 characters.
    std::string maker = LoadResourceString(IDS_REGISTRY_KEY);
    if (maker.size() > 255) maker.resize(255);
    AppSettings().SetKeyNames(maker, ApplicationName());

    COrvaneDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return false;
}

bool COrvaneApp::OnCmdMsg(int id) {
    if (id != ID_HELP) return false;
    OnHelp();
    return true;
}

void COrvaneApp::OnHelp() { WinHelp(0, HELP_FINDER); }

void COrvaneApp::WinHelp(DWORD data, UINT command) {
    if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->WinHelp(data, command);
}

int COrvaneApp::ShowMessageBox(const std::string& text, UINT type, UINT helpId) {
    IWindows& windows = Seam<IWindows>::Get();
    const HWND main = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    const HWND owner = main ? windows.GetLastActivePopup(main) : nullptr;
    // The box disables its own owner; the main window must not take input behind a dialog's box either.
    const bool disableMain = main && owner != main && windows.IsWindowEnabled(main);
    if (disableMain) windows.EnableWindow(main, false);

    const DWORD savedContext = m_dwPromptContext;
    if (helpId != 0) m_dwPromptContext = 0x30000u + helpId;

    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
        case MB_YESNO:
        case MB_YESNOCANCEL:
            type |= MB_ICONEXCLAMATION;
            break;
        default:
            break;
        }
    }
    const int answer = Seam<IMessageBox>::Get().MessageBox(owner, text, ApplicationName(), type);

    m_dwPromptContext = savedContext;
    if (disableMain) windows.EnableWindow(main, true);
    return answer;
}

}  // namespace orvane
