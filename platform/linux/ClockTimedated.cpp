// The systemd-timedated route for setting the clock, over sd-bus.
#include "platform/linux/ClockTimedated.h"

#include <errno.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

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

constexpr char kDestination[] = "org.freedesktop.timedate1";
constexpr char kPath[] = "/org/freedesktop/timedate1";
constexpr char kInterface[] = "org.freedesktop.timedate1";
constexpr char kSyncEnabled[] = "org.freedesktop.timedate1.AutomaticTimeSyncEnabled";

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

std::uint64_t DeadlineAfter(const TimedatedCall& call) {
    const std::uint64_t timeout = call.timeout.count() > 0 ? static_cast<std::uint64_t>(call.timeout.count()) * 1000u : 1u;
    return MonotonicMicroseconds() + timeout;
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

// SyncActive: timedated refused because automatic synchronisation runs (or is still stopping).
enum class Outcome { Pending, Succeeded, SyncActive, Refused };

// One request and the connection it was sent on. The reply writes into it, so the request stays at
// one address for as long as the call is open.
struct Request {
    std::string busAddress;
    Bus bus;
    Outcome outcome = Outcome::Pending;
    Message reply;  // a successful reply, for the values it carries
    Slot slot;      // released before the bus closes
};

int OnReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto& request = *static_cast<Request*>(userdata);
    if (sd_bus_message_is_method_error(reply, kSyncEnabled)) {
        request.outcome = Outcome::SyncActive;
    } else if (sd_bus_message_is_method_error(reply, nullptr)) {
        request.outcome = Outcome::Refused;
    } else {
        request.outcome = Outcome::Succeeded;
        request.reply.reset(sd_bus_message_ref(reply));
    }
    return 1;
}

// Sends a call to timedated on `bus` (a new connection to `busAddress` when null), its arguments
// appended by `append` just before it goes. Null when it could not be sent.
std::unique_ptr<Request> Send(const std::string& busAddress, Bus bus, const char* interface, const char* member,
                              const std::function<int(sd_bus_message*)>& append) {
    auto request = std::make_unique<Request>();
    request->busAddress = busAddress;
    request->bus = bus ? std::move(bus) : Connect(busAddress);
    if (!request->bus) return nullptr;

    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(request->bus.get(), &raw, kDestination, kPath, interface, member) < 0)
        return nullptr;
    Message message(raw);
    if (append(message.get()) < 0) return nullptr;
    // Without this header flag polkit answers "interactive authentication required" instead of
    // showing its password prompt, whatever the interactive argument says.
    if (sd_bus_message_set_allow_interactive_authorization(message.get(), 1) < 0) return nullptr;

    // The request is queued while the connection is still authenticating; Await drives the
    // handshake and the call under one deadline. sd_bus_call would wait for the handshake with
    // libsystemd's own, longer limit before our time-out even started. The call itself has no
    // limit of libsystemd's: one that ran out would end the call here but not in timedated.
    sd_bus_slot* rawSlot = nullptr;
    if (sd_bus_call_async(request->bus.get(), &rawSlot, message.get(), OnReply, request.get(), UINT64_MAX) < 0)
        return nullptr;
    request->slot.reset(rawSlot);
    return request;
}

// Drives `request` until it is answered or `deadline` (CLOCK_MONOTONIC) has passed; a deadline of 0
// only takes in what has arrived already. A connection that fails counts as a refusal.
Outcome Await(Request& request, std::uint64_t deadline) {
    while (request.outcome == Outcome::Pending) {
        const int processed = sd_bus_process(request.bus.get(), nullptr);
        if (processed < 0) return Outcome::Refused;
        if (processed > 0) continue;
        const std::uint64_t now = MonotonicMicroseconds();
        if (now >= deadline) return Outcome::Pending;
        // A signal (a child ending, the desktop asking to save) interrupts the wait, not the request.
        const int waited = sd_bus_wait(request.bus.get(), deadline - now);
        if (waited < 0 && waited != -EINTR) return Outcome::Refused;
    }
    return request.outcome;
}

// A SetTime request that was still open when its press gave up. timedated keeps it while polkit
// waits for the password, and sets the clock if the user approves, however late: closing the
// connection would not withdraw it. So it is kept and its answer awaited instead of a second
// request, which a second approval would add on top of the first.
std::unique_ptr<Request> g_unanswered;

// SetTime for the instant that was `usecUtc` at `anchor` (CLOCK_MONOTONIC), answered by `deadline`.
Outcome SetTime(std::int64_t usecUtc, std::uint64_t anchor, const std::string& busAddress, std::uint64_t deadline) {
    if (g_unanswered && g_unanswered->busAddress == busAddress) {
        // Answered while no press waited: that request is over, and its answer is not this press's.
        Outcome earlier = Await(*g_unanswered, 0);
        if (earlier == Outcome::Pending) {
            // Still open: if it is approved, the clock gets its offset, which is still the right one.
            earlier = Await(*g_unanswered, deadline);
            if (earlier == Outcome::Pending) return earlier;
            g_unanswered.reset();
            if (earlier == Outcome::Succeeded) return earlier;
        }
    }
    g_unanswered.reset();

    std::unique_ptr<Request> request =
        Send(busAddress, nullptr, kInterface, "SetTime", [usecUtc, anchor](sd_bus_message* message) {
            // The offset is taken against the clock as it is now, which no earlier request of ours
            // can still change: there is none open.
            const auto since = static_cast<std::int64_t>(MonotonicMicroseconds() - anchor);
            const std::int64_t offset = usecUtc + since - RealtimeMicroseconds();
            return sd_bus_message_append(message, "xbb", offset, 1, 1);
        });
    if (!request) return Outcome::Refused;
    const Outcome outcome = Await(*request, deadline);
    if (outcome == Outcome::Pending) g_unanswered = std::move(request);
    return outcome;
}

Outcome SetNtp(bool enable, const TimedatedCall& call) {
    std::unique_ptr<Request> request = Send(call.busAddress, nullptr, kInterface, "SetNTP", [enable](sd_bus_message* m) {
        return sd_bus_message_append(m, "bb", static_cast<int>(enable), 1);
    });
    return request ? Await(*request, DeadlineAfter(call)) : Outcome::Refused;
}

// A boolean property of timedated's, read on `bus`, which is handed back through it.
std::optional<bool> ReadFlag(const std::string& busAddress, Bus& bus, const char* name, std::uint64_t deadline) {
    std::unique_ptr<Request> request =
        Send(busAddress, std::move(bus), "org.freedesktop.DBus.Properties", "Get",
             [name](sd_bus_message* message) { return sd_bus_message_append(message, "ss", kInterface, name); });
    if (!request) return std::nullopt;
    const Outcome outcome = Await(*request, deadline);
    request->slot.reset();
    bus = std::move(request->bus);
    int value = 0;
    if (outcome != Outcome::Succeeded || sd_bus_message_read(request->reply.get(), "v", "b", &value) < 0)
        return std::nullopt;
    return value != 0;
}

}  // namespace

bool SetTimeThroughTimedated(std::int64_t usecUtc, const TimedatedCall& call) {
    return SetTime(usecUtc, MonotonicMicroseconds(), call.busAddress, DeadlineAfter(call)) == Outcome::Succeeded;
}

AutomaticSync ReadAutomaticSyncFromTimedated(const TimedatedCall& call) {
    const std::uint64_t deadline = DeadlineAfter(call);
    Bus bus = Connect(call.busAddress);
    if (!bus) return AutomaticSync::Off;
    if (ReadFlag(call.busAddress, bus, "NTP", deadline) != true || !bus) return AutomaticSync::Off;
    return ReadFlag(call.busAddress, bus, "NTPSynchronized", deadline) == true ? AutomaticSync::OnSynchronised
                                                                                : AutomaticSync::OnUnsynchronised;
}

SuspendedSetOutcome SetTimeThroughTimedatedSuspendingSync(std::int64_t usecUtc, const TimedatedCall& call) {
    const std::uint64_t anchor = MonotonicMicroseconds();
    const Outcome off = SetNtp(false, call);
    // Refused outright (the prompt cancelled, polkit saying no): nothing was turned off.
    if (off == Outcome::Refused || off == Outcome::SyncActive) return {false, true};

    SuspendedSetOutcome result;
    if (off == Outcome::Succeeded) {
        // The service's stop job is done in well under a second; a few seconds cover a busy machine.
        constexpr std::uint64_t kStopping = 5000000;
        const std::uint64_t deadline = DeadlineAfter(call);
        const std::uint64_t stopped = MonotonicMicroseconds() + kStopping;
        Outcome set = SetTime(usecUtc, anchor, call.busAddress, deadline);
        while (set == Outcome::SyncActive && MonotonicMicroseconds() < stopped) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            set = SetTime(usecUtc, anchor, call.busAddress, deadline);
        }
        result.clockSet = set == Outcome::Succeeded;
    }
    result.syncOn = SetNtp(true, call) == Outcome::Succeeded;
    return result;
}

}  // namespace orvane
