// Texts of the failures that the application shell defines itself.
#include "app/Failure.h"

#include <algorithm>

#include "platform/Resources.h"

namespace orvane {

void CopyErrorText(std::string& text, const std::string& source, UINT maxChars) {
    const std::size_t limit = maxChars == 0 ? 0 : maxChars - 1;
    text.assign(source, 0, std::min(limit, source.size()));
}

bool COutOfMemoryFailure::GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const {
    if (helpContext) *helpContext = 0;
    CopyErrorText(text, LoadResourceString(AFX_IDS_MEMORY_EXCEPTION), maxChars);
    return true;
}

const COutOfMemoryFailure& COutOfMemoryFailure::Instance() {
    static const COutOfMemoryFailure instance;
    return instance;
}

bool CSilentFailure::GetErrorText(std::string& text, UINT, UINT* helpContext) const {
    if (helpContext) *helpContext = 0;
    text.clear();
    return false;
}

}  // namespace orvane
