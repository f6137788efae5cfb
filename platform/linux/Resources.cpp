// The resource service on Linux: strings from the compiled resources linked into the program.
#include "platform/Resources.h"

#include "platform/linux/ResourceData.h"

namespace orvane {
namespace {

class LinkedResources final : public IResources {
public:
    std::optional<std::string> LoadString(UINT id) override { return res::ResourceData::Program().String(id); }
};

}  // namespace

IResources& IResources::Native() {
    static LinkedResources resources;
    return resources;
}

}  // namespace orvane
