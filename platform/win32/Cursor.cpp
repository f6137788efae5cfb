// The wait cursor on Windows: the system's hourglass, and back to the cursor it replaced.
#include "platform/Cursor.h"

#include "platform/win32/Win32.h"

namespace orvane {
namespace {

class Win32Cursor final : public ICursor {
public:
    void BeginWait() override {
        if (depth_++ == 0) previous_ = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    }

    void EndWait() override {
        if (depth_ == 0) return;
        // The work runs on the user-interface thread, so no WM_SETCURSOR has reset the cursor
        // meanwhile; the one that was showing before is put back as it was.
        if (--depth_ == 0) ::SetCursor(previous_);
    }

private:
    int depth_ = 0;
    HCURSOR previous_ = nullptr;
};

}  // namespace

ICursor& ICursor::Native() {
    static Win32Cursor cursor;
    return cursor;
}

}  // namespace orvane
