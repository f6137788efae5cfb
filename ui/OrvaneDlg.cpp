// The main window.
#include "ui/OrvaneDlg.h"

#include "app/Application.h"
#include "net/UrlAccess.h"
#include "platform/Internet.h"
#include "platform/Seam.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "ui/ConfigureDlg.h"

namespace orvane {
namespace {

const MessageEntry kEntries[] = {
    OnMessage<&COrvaneDlg::OnPaint>(WM_PAINT),
    OnMessage<&COrvaneDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
    OnCommand<&COrvaneDlg::OnSetClock>(IDC_SET_CLOCK),
    OnCommand<&COrvaneDlg::OnConfigure>(IDC_CONFIGURE),
    OnCommand<&COrvaneDlg::OnAbout>(IDC_ABOUT),
    OnMessage<&COrvaneDlg::OnClose>(WM_CLOSE),
    OnMessage<&COrvaneDlg::OnDestroy>(WM_DESTROY),
    OnCommand<&COrvaneDlg::OnHelpButton>(IDC_HELP_BUTTON),
};

}  // namespace

const MessageTable COrvaneDlg::messageTable{&CDialog::messageTable, kEntries};

const MessageTable& COrvaneDlg::GetMessageTable() const { return messageTable; }

COrvaneDlg::COrvaneDlg(CWnd* parent)
    : CDialog(IDD_MAIN, parent), m_hIcon(Seam<IWindows>::Get().LoadIcon(IDR_MAINFRAME)) {}

COrvaneDlg::~COrvaneDlg() = default;

void COrvaneDlg::ExchangeData(bool) {}

bool COrvaneDlg::InitDialog() {
    CDialog::InitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // A session that cannot be made raises a failure, reported before the window shows; Set Clock
    // then does nothing.
    m_pSession = std::make_unique<CInternetSession>(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                                    INTERNET_FLAG_DONT_CACHE);
    return true;
}

void COrvaneDlg::OnCancel() {}

IconPosition CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

void COrvaneDlg::OnPaint() {
    IWindows& windows = Seam<IWindows>::Get();
    if (!windows.IsIconic(m_hWnd)) {
        Default();
        return;
    }
    HDC dc = windows.BeginPaint(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const RECT client = windows.GetClientRect(m_hWnd);
    const IconPosition at =
        CenteredIconPosition(client.right - client.left, client.bottom - client.top,
                             windows.GetSystemMetrics(SM_CXICON), windows.GetSystemMetrics(SM_CYICON));
    windows.DrawIcon(dc, at.x, at.y, m_hIcon);
    windows.EndPaint(m_hWnd, dc);
}

HICON COrvaneDlg::OnQueryDragIcon() { return m_hIcon; }

void COrvaneDlg::OnConfigure() {
    CConfigureDlg dlg;
    dlg.DoModal();
}

void COrvaneDlg::OnAbout() {
    CAboutDlg dlg;
    dlg.DoModal();
}

void COrvaneDlg::OnClose() { OnOK(); }

void COrvaneDlg::OnDestroy() {
    m_pSession.reset();
    App().WinHelp(0, HELP_QUIT);
}

void COrvaneDlg::OnHelpButton() { WinHelp(0, HELP_FINDER); }

}  // namespace orvane
