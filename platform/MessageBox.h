// Modal message boxes.
#pragma once

#include <string>

#include "platform/Types.h"

namespace orvane {

class IMessageBox {
public:
    virtual ~IMessageBox() = default;

    // Shows a modal box owned by `owner` (null: no owner) with `caption`, `text`, the icon and the
    // buttons that `type` asks for (MB_* values), and returns the button pressed (IDOK, IDCANCEL,
    // ...). Does not return until the user answers. The caller disables and re-enables the owner.
    virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IMessageBox";
};

}  // namespace orvane
