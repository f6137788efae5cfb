// The program's window service on Linux: the Qt backend over the program's own resources.
#include "platform/Window.h"

#include "platform/linux/WindowsQt.h"

namespace orvane {

qt::ResourceSource qt::ProgramResources() {
    return ResourceSource{
        [](UINT id) { return res::ResourceData::Program().Dialog(id); },
        [](UINT id) { return res::ResourceData::Program().IconGroup(id); },
    };
}

IWindows& IWindows::Native() {
    // Never destroyed: the windows must not outlive the Qt application object at exit.
    static auto* windows = new qt::CQtWindows(qt::ProgramResources());
    return *windows;
}

}  // namespace orvane
