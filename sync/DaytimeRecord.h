// The daytime record: one line of a time server's reply, parsed into UTC calendar fields.
#pragma once

#include <optional>
#include <string_view>

#include "platform/Types.h"

namespace orvane {

// The UTC date and time that `line` carries, or nullopt when it does not hold seven numbers.
std::optional<SYSTEMTIME> ParseDaytimeRecord(std::string_view line);

// Parses `line` and sets the system clock from it; true only when the clock was set.
bool SetClockFromRecord(std::string_view line);

}  // namespace orvane
