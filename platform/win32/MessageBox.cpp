// Message boxes on Windows: MessageBoxA.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

int CWin32MessageBox::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return ::MessageBoxA(static_cast<::HWND>(owner), text.c_str(), caption.c_str(), type);
}

}  // namespace orvane
