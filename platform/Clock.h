// The system clock, set in UTC.
#pragma once

#include "platform/Types.h"

namespace orvane {

class IClock {
public:
    virtual ~IClock() = default;

    // Sets the system clock to the UTC instant in `time` and answers true, or answers false and
    // leaves the clock alone. Refuses fields that do not form a real date and time (month outside
    // 1..12, a day past the end of its month, hour above 23, minute or second above 59, a year the
    // platform cannot hold) without normalising them into a neighbouring date, and refuses a caller
    // that lacks the right to set the clock. wDayOfWeek is ignored; wMilliseconds must be 0..999.
    virtual bool SetSystemTime(const SYSTEMTIME& time) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IClock";
};

}  // namespace orvane
