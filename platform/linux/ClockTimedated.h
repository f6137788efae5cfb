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

// Sends SetTime(usecUtc, relative = false, interactive = true) to org.freedesktop.timedate1 and
// answers true when it reports success. Every refusal is false: no bus, no timedated, polkit saying
// no or the user cancelling its prompt, automatic time synchronisation being on, or no answer
// within `call.timeout`. Blocks the calling thread for at most about `call.timeout`.
bool SetTimeThroughTimedated(std::int64_t usecUtc, const TimedatedCall& call = {});

}  // namespace orvane
