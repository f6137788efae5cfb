// The current local date and time as text in the user's own form.
#pragma once

#include <string>

namespace orvane {

class ILocalTime {
public:
    virtual ~ILocalTime() = default;

    // The clock as it stands now, to the whole second, in the local time zone, written the way the
    // user's locale writes a date and a time. Works for every date the clock can hold. Empty only
    // when the platform cannot tell the time at all.
    virtual std::string CurrentDateTimeText() = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "ILocalTime";
};

}  // namespace orvane
