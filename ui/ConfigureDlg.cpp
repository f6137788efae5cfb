// The Configure dialog.
#include "ui/ConfigureDlg.h"

#include "config/ServerList.h"
#include "config/SettingsStore.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "res/resource.h"

namespace orvane {
namespace {

IWindows& Windows() { return Seam<IWindows>::Get(); }

constexpr const char kSection[] = "Configuration";

}  // namespace

int CComboBox::AddString(const std::string& text) {
    return static_cast<int>(Windows().SendMessage(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int CComboBox::SetCurSel(int index) {
    return static_cast<int>(Windows().SendMessage(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

int CComboBox::GetCurSel() const { return static_cast<int>(Windows().SendMessage(m_hWnd, CB_GETCURSEL, 0, 0)); }

CConfigureDlg::CConfigureDlg(CWnd* parent)
    : CDialog(IDD_CONFIGURE, parent),
      m_nRadioButton(UseListedServer() ? 0 : 1),
      m_strURL(AppSettings().GetString(kSection, "URL", "")) {}

bool CConfigureDlg::InitDialog() {
    CDialog::InitDialog();
    CenterWindow();
    for (int i = 0; i < SERVER_COUNT; ++i) {
        m_urlList.AddString(LoadResourceString(static_cast<UINT>(IDS_SERVER_FIRST + i)));
    }
    const auto stored = static_cast<std::int32_t>(AppSettings().GetInt(kSection, "URLIndex", 0));
    m_urlList.SetCurSel(ClampServerIndex(stored));
    return true;
}

void CConfigureDlg::ExchangeData(bool save) {
    IWindows& windows = Windows();

    if (!m_urlList.GetSafeHwnd()) m_urlList.Attach(GetDlgItem(IDC_URL_LIST));

    // The radio group runs from "Existing URL" to the next control that starts a group; only the
    // radio buttons in it are numbered.
    if (save) m_nRadioButton = -1;
    int number = 0;
    for (HWND control = GetDlgItem(IDC_EXISTING_URL); control; control = windows.GetNextSibling(control)) {
        if (control != GetDlgItem(IDC_EXISTING_URL) && (windows.GetWindowStyle(control) & WS_GROUP)) break;
        if ((windows.SendMessage(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) == 0) continue;
        if (save) {
            if (windows.SendMessage(control, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED)) {
                m_nRadioButton = number;
            }
        } else {
            windows.SendMessage(control, BM_SETCHECK, number == m_nRadioButton ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++number;
    }

    if (save) {
        m_strURL = GetDlgItemText(IDC_NEW_URL);
    } else if (GetDlgItemText(IDC_NEW_URL) != m_strURL) {
        SetDlgItemText(IDC_NEW_URL, m_strURL);
    }

    if (save) {
        // The results are not checked: a setting that cannot be stored is not worth stopping for.
        CSettingsStore& settings = AppSettings();
        settings.WriteInt(kSection, "RadioButton", m_nRadioButton);
        settings.WriteInt(kSection, "URLIndex", m_urlList.GetCurSel());
        settings.WriteString(kSection, "URL", m_strURL);
    }
}

}  // namespace orvane
