// The help engine on Linux: our own viewer of the help file, one window for the whole program.
#include "platform/linux/QtServices.h"

#include <QFileInfo>
#include <QPointer>

#include "platform/HelpFile.h"
#include "platform/linux/HelpViewer.h"

namespace orvane {
bool CQtHelp::WinHelp(HWND, const std::string& helpFilePath, UINT command, DWORD) {
    if (command == HELP_QUIT) {
        delete viewer_.data();
        return true;
    }
    if (command != HELP_FINDER) return false;
    std::optional<HelpFile> file = HelpFile::Load(helpFilePath);
    if (!file) return false;
    // The viewer stands on its own, as a help application's window would: it is not owned by the
    // window that asked, so it neither hides behind nor blocks with that window.
    if (!viewer_) viewer_ = new qt::CHelpViewer;
    viewer_->SetFile(std::move(*file), QFileInfo(QString::fromLocal8Bit(helpFilePath.c_str())).completeBaseName());
    viewer_->show();
    viewer_->raise();
    viewer_->activateWindow();
    return true;
}

}  // namespace orvane
