// The resource service on Linux: strings from the compiled resources linked into the program.
#include "platform/linux/PlatformServices.h"

#include "platform/linux/ResourceData.h"

namespace orvane {
std::optional<std::string> CLinkedResources::LoadString(UINT id) { return res::ResourceData::Program().String(id); }

}  // namespace orvane
