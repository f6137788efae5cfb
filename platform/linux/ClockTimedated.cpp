// The systemd-timedated route for setting the clock, over sd-bus.
#include "platform/linux/ClockTimedated.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <memory>

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

int OnReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    *static_cast<Outcome*>(userdata) = sd_bus_message_is_method_error(reply, nullptr) ? Outcome::Refused : Outcome::Succeeded;
    return 1;
}

}  // namespace

bool SetTimeThroughTimedated(std::int64_t usecUtc, const TimedatedCall& call) {
    const std::int64_t offset = usecUtc - RealtimeMicroseconds();
    const std::uint64_t timeout = call.timeout.count() > 0 ? static_cast<std::uint64_t>(call.timeout.count()) * 1000u : 1u;
    const std::uint64_t deadline = MonotonicMicroseconds() + timeout;

    Bus bus = Connect(call.busAddress);
    if (!bus) return false;

    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &raw, "org.freedesktop.timedate1", "/org/freedesktop/timedate1",
                                       "org.freedesktop.timedate1", "SetTime") < 0)
        return false;
    Message request(raw);
    if (sd_bus_message_append(request.get(), "xbb", offset, 1, 1) < 0) return false;
    // Without this header flag polkit answers "interactive authentication required" instead of
    // showing its password prompt, whatever the interactive argument says.
    if (sd_bus_message_set_allow_interactive_authorization(request.get(), 1) < 0) return false;

    // The request is queued while the connection is still authenticating; the loop below drives
    // the handshake and the call under one deadline. sd_bus_call would wait for the handshake
    // with libsystemd's own, longer limit before our time-out even started.
    Outcome outcome = Outcome::Pending;
    sd_bus_slot* rawSlot = nullptr;
    if (sd_bus_call_async(bus.get(), &rawSlot, request.get(), OnReply, &outcome, timeout) < 0) return false;
    Slot slot(rawSlot);

    while (outcome == Outcome::Pending) {
        const int processed = sd_bus_process(bus.get(), nullptr);
        if (processed < 0) return false;
        if (processed > 0) continue;
        const std::uint64_t now = MonotonicMicroseconds();
        if (now >= deadline) return false;
        if (sd_bus_wait(bus.get(), deadline - now) < 0) return false;
    }
    return outcome == Outcome::Succeeded;
}

}  // namespace orvane
