// Writes an instant as local date-and-time text in the locale's own form.
#pragma once

#include <ctime>
#include <string>

namespace orvane {

// `instant` in the process's time zone (TZ) as the LC_TIME locale writes a date, a blank and a
// time ("%x %X"). Empty when the instant cannot be broken down into a calendar date.
std::string LocalDateTimeText(std::time_t instant);

}  // namespace orvane
