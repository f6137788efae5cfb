// Daytime record parsing and clock setting.
#include "sync/DaytimeRecord.h"

namespace orvane {

std::optional<SYSTEMTIME> ParseDaytimeRecord(std::string_view) { return std::nullopt; }

bool SetClockFromRecord(std::string_view) { return false; }

}  // namespace orvane
