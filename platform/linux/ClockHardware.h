// The hardware clock (the RTC), set after the system clock so that the time survives a restart,
// as Windows' SetSystemTime and systemd-timedated do.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace orvane {

class IHardwareClock {
public:
    virtual ~IHardwareClock() = default;

    // Sets the hardware clock to `fields` (a calendar time in the zone that the clock keeps) and
    // answers true, or false when there is no hardware clock or it refuses.
    virtual bool SetTime(const std::tm& fields) = 0;

    static constexpr char kServiceName[] = "IHardwareClock";
};

// An RTC device at `path`, set with the RTC_SET_TIME ioctl.
class CRtcDevice : public IHardwareClock {
public:
    explicit CRtcDevice(std::string path = "/dev/rtc0") : m_strPath(std::move(path)) {}
    bool SetTime(const std::tm& fields) override;

private:
    std::string m_strPath;
};

inline constexpr char kAdjtimePath[] = "/etc/adjtime";

// Whether the hardware clock keeps local time: the third line of the adjtime file at `adjtimePath`
// reads "LOCAL". Anything else, and a missing file, means UTC.
bool HardwareClockKeepsLocalTime(const std::string& adjtimePath = kAdjtimePath);

// Sets `rtc` to the UTC second `seconds` since the epoch, in UTC or in local time as the adjtime
// file says. False when the hardware clock could not be set, which the caller may ignore: the
// system clock is what the program sets.
bool SetHardwareClock(std::int64_t seconds, IHardwareClock& rtc, const std::string& adjtimePath = kAdjtimePath);

}  // namespace orvane
