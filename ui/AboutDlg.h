// The About box: the product's name and version beside the application icon.
#pragma once

#include "ui/Wnd.h"

namespace orvane {

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* parent = nullptr);

    void ExchangeData(bool save) override;
    bool InitDialog() override;
};

}  // namespace orvane
