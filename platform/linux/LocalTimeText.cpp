// Local date-and-time text through the C library's time zone and locale.
#include "platform/linux/LocalTimeText.h"

namespace orvane {

std::string LocalDateTimeText(std::time_t instant) {
    std::tm local{};
    // localtime_r works on the full 64-bit time_t, so dates before 1970 and after 2038 come out
    // like any other; it fails only for years beyond what an int in struct tm holds.
    if (localtime_r(&instant, &local) == nullptr) return {};
    char text[256];
    const std::size_t length = std::strftime(text, sizeof text, "%x %X", &local);
    return std::string(text, length);
}

}  // namespace orvane
