// The main window: the explanatory text, the status line and the five buttons.
#pragma once

#include <memory>

#include "ui/Wnd.h"

namespace orvane {

class CInternetSession;

class COrvaneDlg : public CDialog {
public:
    explicit COrvaneDlg(CWnd* parent = nullptr);
    ~COrvaneDlg() override;

    void ExchangeData(bool save) override;
    bool InitDialog() override;
    // Esc reaches the window as IDCANCEL; the main window ends only through Exit (OnOK).
    void OnCancel() override;

    void OnPaint();
    HICON OnQueryDragIcon();
    void OnSetClock();
    void OnConfigure();
    void OnAbout();
    void OnClose();
    void OnDestroy();
    void OnHelpButton();

    // The internet session, or null when it could not be created.
    CInternetSession* Session() const { return m_pSession.get(); }

protected:
    const MessageTable& GetMessageTable() const override;
    static const MessageTable messageTable;

    HICON m_hIcon;
    std::unique_ptr<CInternetSession> m_pSession;
};

// Where the minimised window draws its icon: centred, each division truncating toward zero.
struct IconPosition {
    int x;
    int y;
};
IconPosition CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

}  // namespace orvane
