// Message boxes on Windows: MessageBoxA.
#include "platform/MessageBox.h"

#include "platform/win32/Win32.h"

namespace orvane {
namespace {

class Win32MessageBox final : public IMessageBox {
public:
    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
        return ::MessageBoxA(static_cast<::HWND>(owner), text.c_str(), caption.c_str(), type);
    }
};

}  // namespace

IMessageBox& IMessageBox::Native() {
    static Win32MessageBox messageBox;
    return messageBox;
}

}  // namespace orvane
