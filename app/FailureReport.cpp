// Reporting failures: the message box a failure turns into, by message and by kind.
#include "app/FailureReport.h"

#include "app/Application.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/Window.h"

namespace orvane {

int CFailure::ReportFailure(UINT boxType, UINT fallbackId) const {
    std::string text;
    UINT helpContext = 0;
    if (!GetErrorText(text, 512, &helpContext)) {
        text = LoadResourceString(fallbackId == 0 ? AFX_IDP_NO_ERROR_AVAILABLE : fallbackId);
    }
    return App().ShowMessageBox(text, boxType, helpContext);
}

LRESULT OnHandlerFailure(HWND hwnd, const CFailure& failure, UINT message, LPARAM lParam) {
    LRESULT result = 0;
    UINT fallback = AFX_IDP_INTERNAL_FAILURE;
    switch (message) {
    case WM_CREATE:
        return -1;
    case WM_PAINT:
        Seam<IWindows>::Get().ValidateRect(hwnd);
        return 0;
    case WM_COMMAND:
        result = 1;
        if (lParam == 0) fallback = AFX_IDP_COMMAND_FAILURE;
        break;
    default:
        break;
    }

    if (dynamic_cast<const COutOfMemoryFailure*>(&failure)) {
        failure.ReportFailure(MB_ICONEXCLAMATION | MB_SYSTEMMODAL, fallback);
    } else if (!dynamic_cast<const CSilentFailure*>(&failure)) {
        failure.ReportFailure(MB_ICONSTOP, fallback);
    }
    return result;
}

}  // namespace orvane
