// The Configure dialog: one of the listed servers, or a URL of the user's own.
#pragma once

#include <string>

#include "ui/Wnd.h"

namespace orvane {

// A drop-down list control of a dialog.
class CComboBox {
public:
    void Attach(HWND control) { m_hWnd = control; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    int AddString(const std::string& text);
    int SetCurSel(int index);
    // The selected item's index, or -1 when none is selected.
    int GetCurSel() const;

private:
    HWND m_hWnd = nullptr;
};

class CConfigureDlg : public CDialog {
public:
    explicit CConfigureDlg(CWnd* parent = nullptr);

    void ExchangeData(bool save) override;
    bool InitDialog() override;

    CComboBox m_urlList;
    // 0: the listed server; 1: the user's own URL; -1: no radio button on.
    int m_nRadioButton;
    std::string m_strURL;
};

}  // namespace orvane
