// The Linux system clock: set directly when the process may, else through systemd-timedated.
#include "platform/linux/PlatformServices.h"

#include <errno.h>
#include <time.h>

#include "platform/Seam.h"
#include "platform/linux/ClockFields.h"
#include "platform/linux/ClockHardware.h"
#include "platform/linux/ClockTimedated.h"

namespace orvane {

bool CLinuxClock::SetSystemTime(const SYSTEMTIME& time) {
    // clock_settime would take any second count, so an impossible date must be stopped here
    // rather than turned into a neighbouring one.
    if (!IsSettableClockTime(time)) return false;
    const std::int64_t seconds = SecondsSinceEpoch(time);
    timespec target{};
    target.tv_sec = static_cast<time_t>(seconds);
    target.tv_nsec = static_cast<long>(time.wMilliseconds) * 1000000L;
    if (clock_settime(CLOCK_REALTIME, &target) == 0) {
        // The hardware clock carries the time over a restart. A machine without one, or one that
        // refuses, still has its system clock set.
        SetHardwareClock(seconds, Seam<IHardwareClock>::Get());
        return true;
    }
    // Only a missing right is worth a second route; any other error would be refused there too.
    if (errno != EPERM) return false;
    return SetTimeThroughTimedated(seconds * 1000000 + time.wMilliseconds * 1000);
}

}  // namespace orvane
