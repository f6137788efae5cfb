// The program's own resources: the string table compiled from res/orvane.rc.
#pragma once

#include <optional>
#include <string>

#include "platform/Types.h"

namespace orvane {

class IResources {
public:
    virtual ~IResources() = default;

    // The string with id `id`, in 8-bit text; nullopt when the table has no such string.
    // An existing empty string comes back as an empty text, not nullopt.
    virtual std::optional<std::string> LoadString(UINT id) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IResources";
};

// The string with id `id`, or the empty text when there is none.
std::string LoadResourceString(UINT id);

}  // namespace orvane
