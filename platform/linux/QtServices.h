// The Linux implementations of the services that show something on screen: the wait cursor, the
// help viewer and message boxes (the windows themselves are qt::CQtWindows, platform/linux/WindowsQt.h).
// Each is an object of its own, so that a test can install exactly the real services it drives;
// the program installs them all through CLinuxServices (platform/linux/Services.h). They need the
// QApplication, which must outlive them.
#pragma once

#include <QPointer>

#include <string>

#include "platform/Cursor.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"

namespace orvane {

namespace qt {
class CHelpViewer;
}

// Qt's application-wide override cursor.
class CQtCursor final : public ICursor {
public:
    void BeginWait() override;
    void EndWait() override;

private:
    int depth_ = 0;
};

// Our own viewer of the help file, one window for the whole program.
class CQtHelp final : public IHelp {
public:
    bool WinHelp(HWND owner, const std::string& helpFilePath, UINT command, DWORD data) override;

private:
    QPointer<qt::CHelpViewer> viewer_;
};

// A QMessageBox with the caption, text, icon and buttons of the MB_* type.
class CQtMessageBox final : public IMessageBox {
public:
    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
};

}  // namespace orvane
