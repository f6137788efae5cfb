// Facts about the running process.
#pragma once

#include <string>

namespace orvane {

class IProcess {
public:
    virtual ~IProcess() = default;

    // Full path of the running executable, in the platform's own form; empty when it cannot be told.
    virtual std::string ModuleFileName() = 0;

    // Asks the system to show none of its own critical-error or file-not-found boxes for this process.
    virtual void SuppressSystemErrorBoxes() = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IProcess";
};

}  // namespace orvane
