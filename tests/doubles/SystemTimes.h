// Builds the SYSTEMTIME values that the clock tests set and compare.
#pragma once

#include "platform/Types.h"

namespace orvane::test {

// A UTC instant from its fields, each taken to 16 bits as SYSTEMTIME holds them. The fields not
// named, wDayOfWeek among them, stay 0, so that a comparison checks them too.
inline SYSTEMTIME Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int milliseconds = 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    t.wMilliseconds = static_cast<WORD>(milliseconds);
    return t;
}

}  // namespace orvane::test
