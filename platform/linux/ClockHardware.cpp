// The hardware clock: the RTC device and the adjtime file's choice of UTC or local time.
#include "platform/linux/ClockHardware.h"

#include <fcntl.h>
#include <linux/rtc.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>

namespace orvane {

bool CRtcDevice::SetTime(const std::tm& fields) {
    const int fd = open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    rtc_time time{};
    time.tm_sec = fields.tm_sec;
    time.tm_min = fields.tm_min;
    time.tm_hour = fields.tm_hour;
    time.tm_mday = fields.tm_mday;
    time.tm_mon = fields.tm_mon;
    time.tm_year = fields.tm_year;
    time.tm_wday = fields.tm_wday;
    time.tm_yday = fields.tm_yday;
    time.tm_isdst = 0;
    const bool set = ioctl(fd, RTC_SET_TIME, &time) == 0;
    close(fd);
    return set;
}

bool HardwareClockKeepsLocalTime(const std::string& adjtimePath) {
    // Three lines: drift figures, the last calibration, then UTC or LOCAL.
    std::ifstream file(adjtimePath);
    std::string line;
    for (int i = 0; i < 3; ++i) {
        if (!std::getline(file, line)) return false;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line == "LOCAL";
}

bool SetHardwareClock(std::int64_t seconds, IHardwareClock& rtc, const std::string& adjtimePath) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm fields{};
    const bool converted =
        HardwareClockKeepsLocalTime(adjtimePath) ? localtime_r(&time, &fields) != nullptr : gmtime_r(&time, &fields) != nullptr;
    return converted && rtc.SetTime(fields);
}

}  // namespace orvane
