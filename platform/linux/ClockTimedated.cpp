// The systemd-timedated route for setting the clock, over sd-bus.
#include "platform/linux/ClockTimedated.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <cstdint>
#include <memory>
#include <string>

namespace orvane {
namespace {

struct BusCloser {
    // Not sd_bus_flush_close_unref: flushing waits without a limit for a peer that stopped reading.
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageReleaser {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotReleaser {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
using Message = std::unique_ptr<sd_bus_message, MessageReleaser>;
using Slot = std::unique_ptr<sd_bus_slot, SlotReleaser>;

std::uint64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

std::int64_t RealtimeMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

Bus Connect(const std::string& address) {
    sd_bus* bus = nullptr;
    if (address.empty()) {
        if (sd_bus_open_system(&bus) < 0) return nullptr;
        return Bus(bus);
    }
    if (sd_bus_new(&bus) < 0) return nullptr;
    Bus owned(bus);
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0)
        return nullptr;
    return owned;
}

enum class Outcome { Pending, Succeeded, Refused };

// One SetTime request and the connection it was sent on. The reply writes into `outcome`, so the
// request stays at one address for as long as the call is open.
struct Request {
    std::string busAddress;
    Bus bus;
    Outcome outcome = Outcome::Pending;
    Slot slot;  // released before the bus closes
};

int OnReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    *static_cast<Outcome*>(userdata) = sd_bus_message_is_method_error(reply, nullptr) ? Outcome::Refused : Outcome::Succeeded;
    return 1;
}

// A request that was still open when its press gave up. timedated keeps it while polkit waits for
// the password, and sets the clock if the user approves, however late: closing the connection
// would not withdraw it. So it is kept and its answer awaited instead of a second request, which a
// second approval would add on top of the first.
std::unique_ptr<Request> g_unanswered;

std::unique_ptr<Request> Send(std::int64_t usecUtc, const std::string& busAddress) {
    auto request = std::make_unique<Request>();
    request->busAddress = busAddress;
    request->bus = Connect(busAddress);
    if (!request->bus) return nullptr;

    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(request->bus.get(), &raw, "org.freedesktop.timedate1", "/org/freedesktop/timedate1",
                                       "org.freedesktop.timedate1", "SetTime") < 0)
        return nullptr;
    Message message(raw);
    // The offset is taken against the clock as it is now, which no earlier request of ours can
    // still change: there is none open.
    const std::int64_t offset = usecUtc - RealtimeMicroseconds();
    if (sd_bus_message_append(message.get(), "xbb", offset, 1, 1) < 0) return nullptr;
    // Without this header flag polkit answers "interactive authentication required" instead of
    // showing its password prompt, whatever the interactive argument says.
    if (sd_bus_message_set_allow_interactive_authorization(message.get(), 1) < 0) return nullptr;

    // The request is queued while the connection is still authenticating; Await drives the
    // handshake and the call under one deadline. sd_bus_call would wait for the handshake with
    // libsystemd's own, longer limit before our time-out even started. The call itself has no
    // limit of libsystemd's: one that ran out would end the call here but not in timedated.
    sd_bus_slot* rawSlot = nullptr;
    if (sd_bus_call_async(request->bus.get(), &rawSlot, message.get(), OnReply, &request->outcome, UINT64_MAX) < 0)
        return nullptr;
    request->slot.reset(rawSlot);
    return request;
}

// Drives `request` until it is answered or `deadline` (CLOCK_MONOTONIC) has passed. A connection
// that fails counts as a refusal.
Outcome Await(Request& request, std::uint64_t deadline) {
    while (request.outcome == Outcome::Pending) {
        const int processed = sd_bus_process(request.bus.get(), nullptr);
        if (processed < 0) return Outcome::Refused;
        if (processed > 0) continue;
        const std::uint64_t now = MonotonicMicroseconds();
        if (now >= deadline) return Outcome::Pending;
        if (sd_bus_wait(request.bus.get(), deadline - now) < 0) return Outcome::Refused;
    }
    return request.outcome;
}

}  // namespace

bool SetTimeThroughTimedated(std::int64_t usecUtc, const TimedatedCall& call) {
    const std::uint64_t timeout = call.timeout.count() > 0 ? static_cast<std::uint64_t>(call.timeout.count()) * 1000u : 1u;
    const std::uint64_t deadline = MonotonicMicroseconds() + timeout;

    // An earlier press's request that is still open answers for this press too: if it is
    // approved, the clock gets its offset, which is still the right one.
    if (g_unanswered && g_unanswered->busAddress == call.busAddress) {
        const Outcome earlier = Await(*g_unanswered, deadline);
        if (earlier == Outcome::Pending) return false;
        g_unanswered.reset();
        if (earlier == Outcome::Succeeded) return true;
    }
    g_unanswered.reset();

    std::unique_ptr<Request> request = Send(usecUtc, call.busAddress);
    if (!request) return false;
    const Outcome outcome = Await(*request, deadline);
    if (outcome == Outcome::Pending) g_unanswered = std::move(request);
    return outcome == Outcome::Succeeded;
}

}  // namespace orvane
