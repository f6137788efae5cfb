// Checks a UTC calendar record against what the Linux clock can hold, and turns it into epoch time.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace orvane {

// The first and last years whose every second the kernel accepts as the wall clock. Times before
// the epoch are refused outright. At the top, the kernel keeps the clock 30 years clear of its
// 64-bit nanosecond limit (2262-04-11) so that uptime cannot overflow, and so refuses anything from
// 2232-04-18 23:47:16 UTC on; 2231 is the last year that lies wholly below that.
inline constexpr int kFirstClockYear = 1970;
inline constexpr int kLastClockYear = 2231;

// True when `time` names a real UTC instant that the clock can be set to: a month of 1..12, a day
// that exists in that month of the Gregorian calendar, hour 0..23, minute and second 0..59,
// milliseconds 0..999 and a year of kFirstClockYear..kLastClockYear (and within time_t). Nothing
// is normalised. wDayOfWeek is ignored.
bool IsSettableClockTime(const SYSTEMTIME& time);

// Whole seconds from 1970-01-01 00:00:00 UTC to the instant in `time`, which must have passed
// IsSettableClockTime. The milliseconds are not included. Pure arithmetic: no time zone applies.
std::int64_t SecondsSinceEpoch(const SYSTEMTIME& time);

}  // namespace orvane
