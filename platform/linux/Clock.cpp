// The Linux system clock: set directly when the process may, else through systemd-timedated.
#include "platform/linux/PlatformServices.h"

#include <errno.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "platform/Seam.h"
#include "platform/linux/ClockFields.h"
#include "platform/linux/ClockHardware.h"
#include "platform/linux/ClockTimedated.h"

namespace orvane {
namespace {

// Whether clock_settime would take the time from this process: root, or a holder of CAP_SYS_TIME.
bool MaySetClockItself() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_TO_INDEX(CAP_SYS_TIME)].effective & CAP_TO_MASK(CAP_SYS_TIME)) != 0;
}

std::int64_t MicrosecondsSinceEpoch(const SYSTEMTIME& time) {
    return SecondsSinceEpoch(time) * 1000000 + time.wMilliseconds * 1000;
}

}  // namespace

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
    return SetTimeThroughTimedated(MicrosecondsSinceEpoch(time));
}

AutomaticSync CLinuxClock::AutomaticSyncState() {
    // A process that sets the clock itself is not refused by the NTP service: as it always was.
    if (MaySetClockItself()) return AutomaticSync::Off;
    // Only two property reads; a timedated that bus activation must start first answers in a second.
    return ReadAutomaticSyncFromTimedated({"", std::chrono::seconds(10)});
}

SuspendedSetOutcome CLinuxClock::SetSystemTimeSuspendingSync(const SYSTEMTIME& time) {
    if (!IsSettableClockTime(time)) return {false, true};
    if (MaySetClockItself()) return {SetSystemTime(time), true};
    return SetTimeThroughTimedatedSuspendingSync(MicrosecondsSinceEpoch(time));
}

}  // namespace orvane
