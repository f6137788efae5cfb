// The program's window service on Linux: the Qt backend over the program's own resources.
#include "platform/linux/WindowsQt.h"

namespace orvane {

qt::ResourceSource qt::ProgramResources() {
    return ResourceSource{
        [](UINT id) { return res::ResourceData::Program().Dialog(id); },
        [](UINT id) { return res::ResourceData::Program().IconGroup(id); },
    };
}

}  // namespace orvane
