// String loading shared by every caller that has a fallback of its own.
#include "platform/Resources.h"

#include "platform/Seam.h"

namespace orvane {

std::string LoadResourceString(UINT id) {
    return Seam<IResources>::Get().LoadString(id).value_or(std::string());
}

}  // namespace orvane
