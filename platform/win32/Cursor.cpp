// The wait cursor on Windows: the system's hourglass, and back to the cursor it replaced.
#include "platform/win32/Services.h"

#include "platform/win32/Win32.h"

namespace orvane {

void CWin32Cursor::BeginWait() {
    if (depth_++ == 0) previous_ = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
}

void CWin32Cursor::EndWait() {
    if (depth_ == 0) return;
    // The work runs on the user-interface thread, so no WM_SETCURSOR has reset the cursor
    // meanwhile; the one that was showing before is put back as it was.
    if (--depth_ == 0) ::SetCursor(static_cast<::HCURSOR>(previous_));
}

}  // namespace orvane
