// Facts about the running process on Linux.
#include "platform/linux/PlatformServices.h"

#include <unistd.h>

#include <vector>

namespace orvane {
std::string CLinuxProcess::ModuleFileName() {
    // /proc/self/exe names the executable itself, whatever link or relative path started it.
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return std::string();
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

// Linux shows no system boxes of its own for a process's failed file opens.
void CLinuxProcess::SuppressSystemErrorBoxes() {}

}  // namespace orvane
