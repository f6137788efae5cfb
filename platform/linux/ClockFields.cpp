// Calendar checks and epoch arithmetic for setting the Linux clock.
#include "platform/linux/ClockFields.h"

#include <ctime>
#include <limits>

namespace orvane {
namespace {

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given Gregorian date, counting years from March so that the leap
// day falls at the end of a year (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

bool IsSettableClockTime(const SYSTEMTIME& time) {
    if (time.wYear < kFirstClockYear || time.wYear > kLastClockYear) return false;
    if (time.wMonth < 1 || time.wMonth > 12) return false;
    if (time.wDay < 1 || time.wDay > DaysInMonth(time.wYear, time.wMonth)) return false;
    if (time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59) return false;
    if (time.wMilliseconds > 999) return false;
    // A build whose time_t is still 32 bits cannot name instants after 2038-01-19.
    return SecondsSinceEpoch(time) <= std::numeric_limits<std::time_t>::max();
}

std::int64_t SecondsSinceEpoch(const SYSTEMTIME& time) {
    const std::int64_t days = DaysFromCivil(time.wYear, time.wMonth, time.wDay);
    return ((days * 24 + time.wHour) * 60 + time.wMinute) * 60 + time.wSecond;
}

}  // namespace orvane
