// Asks systemd-timedated to set the clock, for users who may not set it themselves.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

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
// A call that gave up leaves its request open (timedated would apply it anyway), and the next call
// to the same bus sends no request of its own while that one is open: it waits for that one's
// answer instead and answers true when it is approved. So however often the user asks, the
// clock is changed at most once per approved request, and only by an offset taken against a
// clock that no open request of ours can still move.
bool SetTimeThroughTimedated(std::int64_t usecUtc, const TimedatedCall& call = {});

}  // namespace orvane
