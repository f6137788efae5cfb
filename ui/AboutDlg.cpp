// The About box.
#include "ui/AboutDlg.h"

#include "res/resource.h"

namespace orvane {

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::ExchangeData(bool) {}

bool CAboutDlg::InitDialog() {
    CDialog::InitDialog();
    CenterWindow();
    return true;
}

}  // namespace orvane
