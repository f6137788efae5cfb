// The Linux local time service: the clock read now, written in the user's locale.
#include "platform/linux/PlatformServices.h"

#include <clocale>
#include <ctime>

#include "platform/linux/LocalTimeText.h"

namespace orvane {
std::string CLinuxLocalTime::CurrentDateTimeText() {
    // Programs start in the "C" locale; strftime writes the user's form only once LC_TIME
    // has been taken from the environment.
    static const bool localeAdopted = std::setlocale(LC_TIME, "") != nullptr;
    static_cast<void>(localeAdopted);
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return {};
    return LocalDateTimeText(now);
}

}  // namespace orvane
