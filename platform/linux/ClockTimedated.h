// Asks systemd-timedated to set the clock, for users who may not set it themselves.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace orvane {

struct TimedatedCall {
    // The D-Bus address of the bus to ask on; empty for the system bus (which libsystemd looks up
    // in DBUS_SYSTEM_BUS_ADDRESS before falling back to its standard socket).
    std::string busAddress;
    // The longest the whole request may take, connecting included. polkit may ask the user for a
    // password while the call is open, so the default leaves time to type one.
    std::chrono::milliseconds timeout = std::chrono::minutes(2);
};

// Asks org.freedesktop.timedate1 to set the clock to `usecUtc` (microseconds since the epoch, UTC)
// and answers true when it reports success. Every refusal is false: no bus, no timedated, polkit
// saying no or the user cancelling its prompt, automatic time synchronisation being on, or no
// answer within `call.timeout`. Blocks the calling thread for at most about `call.timeout`.
//
// polkit holds the call for as long as the user takes to type a password, so the time is sent as
// an offset from the system clock at this call: SetTime(usecUtc - now, relative = true,
// interactive = true). timedated adds the offset when it sets the clock, which keeps the clock
// right however late that is, even after this call has given up.
//
// A call that gave up leaves its request open (timedated would apply it anyway). The next call to
// the same bus that finds it still open sends no request of its own: it waits for that one's
// answer instead and answers true when it is approved. So however often the user asks, the clock
// is changed at most once per approved request, and only by an offset taken against a clock that
// no open request of ours can still move. A request answered while no call waited for it is over:
// the next call sends a request of its own, from its own time.
bool SetTimeThroughTimedated(std::int64_t usecUtc, const TimedatedCall& call = {});

// timedated's NTP property (an NTP service it knows runs) and NTPSynchronized (the kernel's clock
// discipline reports the clock synchronised). Off when NTP is false or either cannot be read within
// `call.timeout`: SetTime is then not refused for automatic synchronisation.
AutomaticSync ReadAutomaticSyncFromTimedated(const TimedatedCall& call);

// SetNTP(false), SetTime as SetTimeThroughTimedated does, then SetNTP(true); every call interactive,
// each with `call.timeout` of its own. SetNTP(true) is sent whatever SetTime answered, and also when
// SetNTP(false) went unanswered (an approval may still come); only an SetNTP(false) that timedated
// refused leaves it out, as synchronisation was then never off. timedated answers SetNTP(false)
// before the service has stopped and refuses SetTime until it has, so SetTime is sent again while
// it answers AutomaticTimeSyncEnabled, for a few seconds at most. `usecUtc` is the time at this
// call; the password prompts' time is added to it.
//
// Killed in between, the program leaves automatic synchronisation off (timedated keeps the NTP
// service stopped and disabled) until someone turns it on again: timedatectl set-ntp true.
SuspendedSetOutcome SetTimeThroughTimedatedSuspendingSync(std::int64_t usecUtc, const TimedatedCall& call = {});

}  // namespace orvane
